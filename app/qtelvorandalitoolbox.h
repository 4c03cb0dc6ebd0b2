#ifndef QTELVORANDALITOOLBOX_H
#define QTELVORANDALITOOLBOX_H

#include "myframedec.h"
#include "portentry.h"

#include <QList>
#include <QMainWindow>
#include <QUrl>

class MyTreatComPc;

namespace Ui {
class qtelvorandalitoolbox;
}

// The toolbox's only window: the form, the endpoint choice, the bus scan and the DALI erase.
class qtelvorandalitoolbox : public QMainWindow
{
    Q_OBJECT

public:
    explicit qtelvorandalitoolbox(QWidget *parent = nullptr);
    // extraEndpoints are listed after the discovered endpoints, on every refresh.
    explicit qtelvorandalitoolbox(const QList<QUrl> &extraEndpoints, QWidget *parent = nullptr);
    ~qtelvorandalitoolbox() override;

    // Null before the first selection and while the manager is being replaced.
    MyTreatComPc *manager() const { return treatComPc; }

private slots:
    void on_butScan_clicked();
    void on_butRefresh_clicked();
    void on_butEraseShort_clicked();
    void kvmxport_newframe_cb(MyFrameDec frame);
    void on_comboPort_currentIndexChanged(int index);
    void on_comboScan_currentIndexChanged(int index);
    void link_connectionChanged_cb(bool connected);

private:
    bool replaceManager(int index);
    void releaseManager();
    void adoptManager(MyTreatComPc *manager);
    bool ensureManager();
    QString endpointText(int index) const;
    void showConnectionState(bool connected, bool scanFollows);
    void showStatus(const QString &line);
    void treatTaskReport(const QByteArray &payload);
    void showModuleCount(const QByteArray &payload);
    void readModuleTable(const QByteArray &payload);

    Ui::qtelvorandalitoolbox *ui;
    MyTreatComPc *treatComPc = nullptr;
    QList<PortEntry> portList;
    QList<PortEntry> extraPorts;
    // The Ethernet open and close process events while they wait; these keep the slots reached from
    // there from building or replacing a manager in the middle of a replacement.
    bool replacingManager = false;
    bool selectionChangedMeanwhile = false;
};

#endif // QTELVORANDALITOOLBOX_H
