#ifndef QTELVORANDALITOOLBOX_H
#define QTELVORANDALITOOLBOX_H

#include "buscodes.h"
#include "endpointlist.h"
#include "inventoryexport.h"
#include "probetarget.h"
#include "scanresult.h"

#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QUrl>

#include <optional>
#include <utility>

class BusTrafficWindow;
class EndpointSession;
class ModuleListView;
class MyTreatComPc;
class QAction;
class QLabel;
class TrafficTrace;

namespace Ui {
class qtelvorandalitoolbox;
}

// The toolbox's only window: a view of the current endpoint (its connection, its last scan, its
// erase target, the job running on it) and the menus. What belongs to one endpoint is kept by its
// EndpointSession; where the endpoints come from, by the EndpointList.
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

    // The current endpoint's manager; null while none is open.
    MyTreatComPc *manager() const;
    // The Bus traffic window, opened with Ctrl+T; null until then.
    BusTrafficWindow *trafficWindow() const;
    // Where Search the network sends its probe and the port its answers come to; by default the
    // broadcast address of every IPv4 interface, answered at the module port.
    void setProbeTargets(const QList<ProbeTarget> &targets, quint16 bindPort);
    // Lists the endpoint (once) and with select chooses it, which opens it.
    void addEndpoint(const QUrl &url, bool select);
    // The Ethernet open and logout waits of every endpoint's link, now and at its next opens; tests
    // shorten them.
    void setEthWaits(int openMs, int logoutMs);

public slots:
    void showBusTraffic();
    void exportInventory();
    void connectTo();
    void searchNetwork();
    void forgetEndpoints();
    void showAbout();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void on_butScan_clicked();
    void on_butRefresh_clicked();
    void on_butEraseShort_clicked();
    void on_comboPort_currentIndexChanged(int index);
    void on_comboPort_activated(int index);
    void on_comboScan_currentIndexChanged(int index);

private:
    void buildMenus();
    void closeWindow();
    void fillList();
    void choose(int index);
    EndpointSession *sessionFor(const QUrl &url);
    void showCurrent();
    void showConnection();
    void showHeading();
    void showTable();
    void showStatus(const QString &line);
    void session_status(const QString &line);
    void updateButtons();
    void chooseModule(quint32 moduleId, const QString &label);
    void growToFit();

    Ui::qtelvorandalitoolbox *ui;
    QLabel *statusLine;
    ModuleListView *modules = nullptr;
    EndpointList endpoints;
    QList<EndpointSession *> sessions;
    std::optional<std::pair<int, int>> ethWaits; // set by tests; the link's own defaults otherwise
    EndpointSession *current = nullptr;
    std::optional<QList<ProbeTarget>> probeTargets; // none set: the broadcast targets
    quint16 probeBindPort = ethModulePort;
    // The Ethernet open and close process events while they wait; a choice made meanwhile is
    // taken once the one under way is done.
    bool switching = false;
    bool chosenMeanwhile = false;
    // The entry the last selection change opened: choosing it again right away is the same choice.
    bool justChosen = false;
    bool statusAboutRow = false; // the status names the table row chosen last
    InventoryExport inventoryExport;
    TrafficTrace *trace;
    QPointer<BusTrafficWindow> traffic;
    QAction *exportAction = nullptr;
};

#endif // QTELVORANDALITOOLBOX_H
