#ifndef DALIERASE_H
#define DALIERASE_H

#include <QObject>
#include <QPointer>
#include <QString>

class MyTreatComPc;

// Tells one DALI interface module to erase the short addresses and group memberships of every DALI
// slave on its line, and ends exactly once: the module acknowledged, the request was given up
// unacknowledged, or the link went down first.
class DaliErase : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        Accepted,        // the module acknowledged the request
        SendFailed,      // the request could not be written
        NotAcknowledged, // given up after its retries: nothing is known to be erased
        LinkLost,        // the link went down before the acknowledgement
        Cancelled,       // stopped from this side
    };
    // The outcome as the command line's JSON and the soak name it: "accepted", "not-acknowledged", ...
    static QString outcomeName(Outcome outcome);

    Q_ENUM(Outcome)

    // label names the module in messages, as it is listed: "LUX42 s/n:1234567 v3".
    DaliErase(MyTreatComPc *manager, quint32 moduleId, const QString &label, QObject *parent = nullptr);

    // Sends the request; when it cannot be written the erase ends before this returns.
    void start();
    void stop(const QString &reason);
    bool isRunning() const { return running; }

signals:
    void progress(const QString &status);
    void finished(DaliErase::Outcome outcome, const QString &message);

private:
    void finish(Outcome outcome, const QString &message);

    QPointer<MyTreatComPc> manager;
    quint32 moduleId;
    QString label;
    bool running = false;
};

#endif // DALIERASE_H
