#ifndef DALIERASE_H
#define DALIERASE_H

#include "busjob.h"

// Tells one DALI interface module to erase the short addresses and group memberships of every DALI
// slave on its line. Ends Accepted when the module acknowledges, NotAcknowledged when the request is
// given up, or as every job does.
class DaliErase : public BusJob
{
    Q_OBJECT

public:
    // label names the module in messages, as it is listed: "LUX42 s/n:1234567 v3".
    DaliErase(MyTreatComPc *manager, quint32 moduleId, const QString &label, QObject *parent = nullptr);

protected:
    QString startLine() const override;
    MyFrameDec request() const override;
    void listen() override;
    void requestDropped() override;
    QString linkLostText() const override;

private:
    quint32 moduleId;
    QString label;
};

#endif // DALIERASE_H
