#ifndef QTELVORANDALITOOLBOX_H
#define QTELVORANDALITOOLBOX_H

#include "portentry.h"
#include "probetarget.h"
#include "scanresult.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include <optional>

class BusScan;
class BusTrafficWindow;
class DaliErase;
class MyTreatComPc;
class QAction;
class TrafficTrace;

namespace Ui {
class qtelvorandalitoolbox;
}

// The toolbox's only window: the form, the endpoint choice, and the views of the bus scan and the
// DALI erase, which run as jobs of their own.
class qtelvorandalitoolbox : public QMainWindow
{
    Q_OBJECT

public:
    explicit qtelvorandalitoolbox(QWidget *parent = nullptr);
    // extraEndpoints are listed after the discovered endpoints, on every refresh. The window takes
    // the trace (a file set up by --trace); without one it makes its own for the Bus traffic window.
    explicit qtelvorandalitoolbox(const QList<QUrl> &extraEndpoints, TrafficTrace *trace = nullptr,
                                  QWidget *parent = nullptr);
    ~qtelvorandalitoolbox() override;

    // Null before the first selection and while the manager is being replaced.
    MyTreatComPc *manager() const { return treatComPc; }
    // The Bus traffic window, opened with Ctrl+T; null until then.
    BusTrafficWindow *trafficWindow() const;
    // Where Search the network sends its probe and the port its answers come to; by default the
    // broadcast address of every IPv4 interface, answered at the module port.
    void setProbeTargets(const QList<ProbeTarget> &targets, quint16 bindPort);
    // Lists the endpoint (once), remembers it for the next start, and with select chooses it, which
    // opens it.
    void addEndpoint(const QUrl &url, bool select);

    // The status when no endpoint is listed.
    static const QString noEndpointLine;

public slots:
    void showBusTraffic();
    void exportInventory();
    void connectTo();
    void searchNetwork();
    void forgetEndpoints();
    void showAbout();

private slots:
    void on_butScan_clicked();
    void on_butRefresh_clicked();
    void on_butEraseShort_clicked();
    void on_comboPort_currentIndexChanged(int index);
    void on_comboPort_activated(int index);
    void on_comboScan_currentIndexChanged(int index);
    void link_connectionChanged_cb(bool connected);

private:
    bool replaceManager(int index);
    void releaseManager();
    void adoptManager(MyTreatComPc *manager);
    bool ensureManager();
    QString endpointText(int index) const;
    void showConnectionState(bool connected, bool scanFollows);
    QString openFailure() const;
    void showStatus(const QString &line);
    void updateErase();
    void buildMenus(QAction *quitAction, QAction *trafficAction);
    void saveRemembered() const;
    void insertEndpointItem(int index, const PortEntry &entry);
    int findEndpoint(const QUrl &url) const;
    bool confirmErase(const QString &module);
    void scanFinished(const ScanResult &result);
    void showModules(const ModuleTable &table);
    void followTableSelection();
    void growToFit();
    void jobFinished();
    void stopJobs();

    Ui::qtelvorandalitoolbox *ui;
    MyTreatComPc *treatComPc = nullptr;
    QList<PortEntry> portList;
    QList<PortEntry> extraPorts;
    // Endpoints typed in Connect to... or found by Search the network, kept in the settings.
    QList<PortEntry> rememberedPorts;
    std::optional<QList<ProbeTarget>> probeTargets; // none set: the broadcast targets
    quint16 probeBindPort = 17481;
    // The Ethernet open and close process events while they wait; these keep the slots reached from
    // there from building or replacing a manager in the middle of a replacement.
    bool replacingManager = false;
    bool selectionChangedMeanwhile = false;
    // The manager that the last selection change built: choosing its entry again right away is that
    // same choice, not a request to reopen.
    MyTreatComPc *freshManager = nullptr;
    // At most one job runs at a time: a second request would take the first one's place in the
    // manager, which waits for one answer only.
    QPointer<BusScan> scan;
    QPointer<DaliErase> erase;
    ScanResult lastScan;  // what Export saves
    QString exportFolder; // where the last export went; empty: the working directory
    TrafficTrace *trace;
    QPointer<BusTrafficWindow> traffic;
    QAction *exportAction;
    bool syncingSelection = false;
};

#endif // QTELVORANDALITOOLBOX_H
