#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include "aboutbox.h"
#include "bustrafficwindow.h"
#include "busyscope.h"
#include "connectdialog.h"
#include "endpointsession.h"
#include "inventoryexport.h"
#include "modulelistview.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "questions.h"
#include "shownurl.h"
#include "traffictrace.h"
#include "windowplacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>

namespace {

const QString sendFailedLine = QStringLiteral("Error while sending frame. Please retry...");
const QString noEndpointLine = QStringLiteral(
    "No bus master found. Plug it in and press Refresh, or use Connection > Connect to... for an "
    "Ethernet module or a serial port.");

} // namespace

// The logo and the window icon are compiled into this static library; nothing refers to the bundle by
// name, so without this the linker would leave it out of the program.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

qtelvorandalitoolbox::qtelvorandalitoolbox(QWidget *parent)
    : qtelvorandalitoolbox(QList<QUrl>(), nullptr, parent)
{}

qtelvorandalitoolbox::qtelvorandalitoolbox(const QList<QUrl> &extraEndpoints, TrafficTrace *trace,
                                           QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::qtelvorandalitoolbox)
    , statusLine(new QLabel(this))
    , endpoints(extraEndpoints)
    , trace(trace ? trace : new TrafficTrace)
{
    this->trace->setParent(this);
    registerResources();
    ui->setupUi(this);
    // The logo ships at the size it is shown and at twice that: nothing larger is decoded or scaled.
    if (ui->label->devicePixelRatioF() > 1.0) {
        QPixmap logo(QStringLiteral(":/res/Telvoran_logo_h@2x.png"));
        logo.setDevicePixelRatio(2.0);
        ui->label->setPixmap(logo);
    }
    setWindowIcon(QIcon(QStringLiteral(":/winico")));
    setWindowTitle(QStringLiteral("Telvoran2 DALI toolbox (") + QCoreApplication::applicationVersion() +
                   QLatin1Char(')'));
    // The outcomes stay in a label of the status bar: a menu's status tips cover it only while the
    // menu is open, where they would replace a temporary message for good. A long line wraps, so
    // that its last words (the next step) stay readable.
    statusLine->setObjectName(QStringLiteral("statusLine"));
    statusLine->setWordWrap(true);
    statusLine->setTextInteractionFlags(Qt::TextSelectableByMouse);
    ui->statusbar->addWidget(statusLine, 1);
    buildMenus();
    modules = new ModuleListView(ui->comboScan, ui->tableModules, this);
    connect(modules, &ModuleListView::rowChosen, this, &qtelvorandalitoolbox::chooseModule);

    on_butRefresh_clicked();
    adjustSize();
}

qtelvorandalitoolbox::~qtelvorandalitoolbox()
{
    // An Ethernet logout waits 1.5 s; nothing reached from there may open an endpoint for a window
    // that is going.
    switching = true;
    current = nullptr;
    qDeleteAll(sessions);
    delete ui;
}

void qtelvorandalitoolbox::closeWindow()
{
    close();
}

MyTreatComPc *qtelvorandalitoolbox::manager() const
{
    return current ? current->manager() : nullptr;
}

void qtelvorandalitoolbox::closeEvent(QCloseEvent *event)
{
    if (current && !mayStop(this, current->job())) {
        event->ignore();
        return;
    }
    if (traffic)
        traffic->close();
    event->accept();
}

void qtelvorandalitoolbox::on_butRefresh_clicked()
{
    if (switching)
        return;
    const QUrl was = current ? current->url() : QUrl();
    {
        const BusyScope busy;
        endpoints.refresh();
    }
    fillList();
    // The endpoint chosen before stays chosen, reopened if it is down; none is chosen in its place.
    const bool none = endpoints.entries().isEmpty();
    const int index = was.isEmpty() ? (none ? -1 : 0) : endpoints.indexOf(was);
    // A working connection stays as it is (no logout and login again); a module that went away
    // since is only noticed when something is sent to it.
    if (index >= 0 && current && current->isConnected())
        current->manager()->checkLink();
    choose(index);
    if (index < 0 && !was.isEmpty() && !none && !current)
        showStatus(QStringLiteral("%1 is no longer listed. Choose an endpoint.").arg(shownUrl(was)));
}

// Fills comboPort from the endpoint list without choosing anything.
void qtelvorandalitoolbox::fillList()
{
    const QSignalBlocker blocker(ui->comboPort);
    ui->comboPort->clear();
    for (const PortEntry &entry : endpoints.entries()) {
        ui->comboPort->addItem(EndpointList::label(entry), entry.url.adjusted(QUrl::RemovePassword));
        ui->comboPort->setItemData(ui->comboPort->count() - 1, EndpointList::toolTip(entry), Qt::ToolTipRole);
    }
    ui->comboPort->setCurrentIndex(-1);
}

void qtelvorandalitoolbox::addEndpoint(const QUrl &url, bool select)
{
    const int index = endpoints.add(url);
    const QUrl chosen = current ? current->url() : QUrl();
    fillList();
    {
        const QSignalBlocker blocker(ui->comboPort);
        ui->comboPort->setCurrentIndex(chosen.isEmpty() ? -1 : endpoints.indexOf(chosen));
    }
    if (select || !current)
        choose(index);
}

void qtelvorandalitoolbox::on_comboPort_currentIndexChanged(int index)
{
    justChosen = true;
    choose(index);
}

// Choosing the entry that is already current reopens its endpoint when the link is down.
void qtelvorandalitoolbox::on_comboPort_activated(int index)
{
    if (std::exchange(justChosen, false) || !current || current->isConnected() ||
        index != ui->comboPort->currentIndex())
        return;
    choose(index);
}

void qtelvorandalitoolbox::setEthWaits(int openMs, int logoutMs)
{
    ethWaits = {openMs, logoutMs};
    for (EndpointSession *session : qAsConst(sessions))
        session->setEthWaits(openMs, logoutMs);
}

EndpointSession *qtelvorandalitoolbox::sessionFor(const QUrl &url)
{
    for (EndpointSession *session : qAsConst(sessions)) {
        if (EndpointList::sameEndpoint(session->url(), url))
            return session;
    }
    auto *session = new EndpointSession(url, trace, this);
    if (ethWaits)
        session->setEthWaits(ethWaits->first, ethWaits->second);
    connect(session, &EndpointSession::status, this, &qtelvorandalitoolbox::session_status);
    connect(session, &EndpointSession::tableChanged, this, [this, session] {
        if (session == current)
            showTable();
    });
    connect(session, &EndpointSession::jobFinished, this, [this, session] {
        if (session == current)
            updateButtons(), showHeading(), growToFit();
    });
    connect(session, &EndpointSession::connectionChanged, this, [this, session] {
        if (session == current)
            showConnection(), updateButtons();
    });
    sessions.append(session);
    return session;
}

// Makes entry `index` of comboPort the current endpoint and opens it; the endpoint left is closed
// (its last scan stays with it). A job running there is stopped only if the user agrees.
void qtelvorandalitoolbox::choose(int index)
{
    const QUrl url = ui->comboPort->itemData(index).toUrl();
    const bool same = current && EndpointList::sameEndpoint(url, current->url());
    const bool stay = !switching && current && !same && !mayStop(this, current->job());
    {
        const QSignalBlocker blocker(ui->comboPort);
        ui->comboPort->setCurrentIndex(stay ? endpoints.indexOf(current->url()) : index);
    }
    if (stay)
        return;
    if (switching) {
        chosenMeanwhile = true;
        return;
    }
    // Choosing the endpoint that is open changes nothing.
    if (same && current->isConnected()) {
        showCurrent();
        return;
    }
    switching = true;
    EndpointSession *opening = std::exchange(current, nullptr);
    showCurrent();
    do {
        chosenMeanwhile = false;
        if (opening) {
            const BusyScope busy;
            opening->close();
        }
        const int now = ui->comboPort->currentIndex();
        opening = now < 0 ? nullptr : sessionFor(ui->comboPort->itemData(now).toUrl());
        if (!opening || chosenMeanwhile)
            continue;
        QUrl withPassword = endpoints.entries().value(now).url;
        opening->open(withPassword, [this](QUrl &url, bool refused) {
            if (chosenMeanwhile || !askPassword(this, url, refused))
                return false;
            endpoints.setPassword(url, url.password());
            return true;
        });
        if (opening->isConnected())
            endpoints.opened(withPassword);
    } while (chosenMeanwhile);
    current = opening;
    switching = false;
    showCurrent();
}

// The menus; the shortcuts of Quit, Bus traffic and Export work in the window also without them.
void qtelvorandalitoolbox::buildMenus()
{
    const auto add = [this](QMenu *menu, const QString &text, void (qtelvorandalitoolbox::*slot)(),
                            const QKeySequence &keys = QKeySequence()) {
        auto *action = new QAction(text, this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
        return action;
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    exportAction = add(file, QStringLiteral("&Export inventory..."), &qtelvorandalitoolbox::exportInventory,
                       QKeySequence::Save);
    exportAction->setEnabled(false);
    ui->tableModules->addAction(exportAction);
    file->addSeparator();
    // NOLINTNEXTLINE(bugprone-suspicious-enum-usage): modifier | key is how Qt spells a key combination.
    const QKeySequence ctrlQ(Qt::CTRL | Qt::Key_Q);
    QAction *quit = add(file, QStringLiteral("&Quit"), &qtelvorandalitoolbox::closeWindow, ctrlQ);

    QMenu *connection = menuBar()->addMenu(QStringLiteral("&Connection"));
    add(connection, QStringLiteral("&Connect to..."), &qtelvorandalitoolbox::connectTo);
    add(connection, QStringLiteral("&Search the network"), &qtelvorandalitoolbox::searchNetwork);
    add(connection, QStringLiteral("&Refresh"), &qtelvorandalitoolbox::on_butRefresh_clicked,
        QKeySequence::Refresh);
    connection->addSeparator();
    add(connection, QStringLiteral("&Forget endpoints"), &qtelvorandalitoolbox::forgetEndpoints);

    QAction *trafficAction =
        add(menuBar()->addMenu(QStringLiteral("&View")), QStringLiteral("Bus &traffic"),
            &qtelvorandalitoolbox::showBusTraffic, QKeySequence(QStringLiteral("Ctrl+T")));
    add(menuBar()->addMenu(QStringLiteral("&Help")), QStringLiteral("&About"),
        &qtelvorandalitoolbox::showAbout);
    addActions({exportAction, quit, trafficAction});
}

// The window as a view of the current endpoint: its connection, its last scan, its erase target.
void qtelvorandalitoolbox::showCurrent()
{
    showTable();
    showConnection();
    updateButtons();
}

void qtelvorandalitoolbox::showConnection()
{
    statusAboutRow = false;
    showStatus(ui->comboPort->count() == 0 ? noEndpointLine
               : current                   ? current->connectionLine()
                                           : QString());
    showHeading();
}

void qtelvorandalitoolbox::showHeading()
{
    ui->labelModules->setText(current ? current->heading()
                                      : QStringLiteral("Modules on the bus: listed here once the bus is "
                                                       "connected and scanned."));
}

void qtelvorandalitoolbox::showStatus(const QString &line)
{
    statusLine->setText(line);
    statusLine->setToolTip(line);
}

// A status of the current endpoint's job; one of an endpoint left meanwhile is not shown.
void qtelvorandalitoolbox::session_status(const QString &line)
{
    if (sender() != current)
        return;
    statusAboutRow = false;
    showStatus(line);
}

// Scan needs a link; Erase a link and a target; both, no job running.
void qtelvorandalitoolbox::updateButtons()
{
    const bool idle = current && current->job().isEmpty() && !switching;
    ui->butScan->setEnabled(idle && current->isConnected());
    ui->butEraseShort->setEnabled(idle && current->isConnected() && current->target() != 0);
    exportAction->setEnabled(current && current->hasScan());
}

void qtelvorandalitoolbox::showTable()
{
    modules->show(current ? current->table() : ModuleTable(), current ? current->target() : 0);
    growToFit();
    updateButtons();
}

// A DALI interface module chosen in the table or the list is the one Erase targets; any other row
// leaves no target, so that the list never names a module other than the one highlighted.
void qtelvorandalitoolbox::chooseModule(quint32 moduleId, const QString &label)
{
    if (!current)
        return;
    current->choose(moduleId);
    modules->select(current->target());
    updateButtons();
    if (current->target() == 0) {
        showStatus(label + QStringLiteral(
                               " is no DALI interface module: nothing to erase there. Choose a bold row."));
        statusAboutRow = true;
    } else if (statusAboutRow) {
        showStatus(QStringLiteral("Erase target: %1 behind %2.").arg(label, current->shownUrl()));
        statusAboutRow = false;
    }
}

// The module entry can be wider than the list was; the window follows its width. Its row in the
// table is chosen with it.
void qtelvorandalitoolbox::on_comboScan_currentIndexChanged(int index)
{
    growToFit();
    if (modules)
        modules->followList(index);
}

// Grows the window in height to show the module table; the width stays as the user left it.
void qtelvorandalitoolbox::growToFit()
{
    const int wanted = sizeHint().height();
    if (wanted > height())
        resize(width(), wanted);
}

void qtelvorandalitoolbox::on_butScan_clicked()
{
    if (!current || switching || !current->job().isEmpty())
        return;
    if (!current->startScan()) {
        showStatus(sendFailedLine);
        ui->labelModules->setText(QStringLiteral("No scan: not connected."));
        return;
    }
    showHeading();
    updateButtons();
}

void qtelvorandalitoolbox::on_butEraseShort_clicked()
{
    if (!current || switching || !current->job().isEmpty())
        return;
    EndpointSession *session = current;
    const quint32 moduleId = session->target();
    // Without a listed module the frame would go to address 0, which names no DALI interface.
    if (moduleId == 0) {
        showStatus(QStringLiteral("No DALI module selected. Scan the bus first."));
        return;
    }
    const QString module = ui->comboScan->currentText();
    if (!confirmErase(this, module, session->shownUrl()))
        return;
    // The question waited with events processed: the erase goes ahead only if the window still
    // shows the same endpoint and target.
    // cppcheck-suppress knownConditionTrueFalse
    if (session != current || session->target() != moduleId || !session->job().isEmpty())
        return;
    if (!session->startErase(moduleId))
        showStatus(sendFailedLine);
    updateButtons();
}

void qtelvorandalitoolbox::connectTo()
{
    ConnectDialog dialog(this);
    if (dialog.exec() == QDialog::Accepted)
        addEndpoint(dialog.endpoint(), true);
}

void qtelvorandalitoolbox::setProbeTargets(const QList<ProbeTarget> &targets, quint16 bindPort)
{
    probeTargets = targets;
    probeBindPort = bindPort;
}

void qtelvorandalitoolbox::searchNetwork()
{
    if (switching)
        return;
    // Every network's broadcast address, and this host itself, where the simulator may listen.
    const QList<ProbeTarget> targets =
        probeTargets
            ? *probeTargets
            : MyDiFtdi::broadcastProbeTargets() +
                  QList<ProbeTarget>{{QHostAddress(QHostAddress::LocalHost), ethModulePort}};
    QList<QUrl> found;
    {
        const BusyScope busy;
        showStatus(QStringLiteral("Searching the network for Ethernet interface modules..."));
        for (const PortEntry &entry : MyDiFtdi::discoverPorts(PortUdp, targets, probeBindPort)) {
            if (!found.contains(entry.url))
                found.append(entry.url);
        }
    }
    if (found.isEmpty()) {
        QStringList places;
        for (const ProbeTarget &target : targets)
            places << QStringLiteral("%1:%2").arg(target.address.toString()).arg(target.port);
        showStatus(
            QStringLiteral("No Ethernet interface module answered at %1. Check that it is powered and on "
                           "this network, or use Connection > Connect to... with its address.")
                .arg(places.join(QStringLiteral(", "))));
        return;
    }
    // The first module found is chosen unless the window is already connected.
    const bool chooseFirst = !current || !current->isConnected();
    for (int i = 0; i < found.size(); ++i)
        addEndpoint(found.at(i), chooseFirst && i == 0);
    if (!chooseFirst)
        showStatus(
            found.size() == 1
                ? QStringLiteral("1 Ethernet interface module found; choose it in the endpoint list.")
                : QStringLiteral("%1 Ethernet interface modules found; choose one in the endpoint list.")
                      .arg(found.size()));
}

void qtelvorandalitoolbox::forgetEndpoints()
{
    endpoints.forget();
    on_butRefresh_clicked();
}

void qtelvorandalitoolbox::exportInventory()
{
    if (!current || !current->hasScan())
        return;
    const QString path = inventoryExport.save(this, current->scanResult());
    if (!path.isEmpty())
        showStatus(QStringLiteral("Inventory saved to ") + path);
}

BusTrafficWindow *qtelvorandalitoolbox::trafficWindow() const
{
    return traffic;
}

void qtelvorandalitoolbox::showBusTraffic()
{
    if (!traffic) {
        traffic = new BusTrafficWindow(this);
        connect(trace, &TrafficTrace::line, traffic, &BusTrafficWindow::append);
        placeBeside(traffic, this);
    }
    traffic->show();
    traffic->raise();
    traffic->activateWindow();
}

void qtelvorandalitoolbox::showAbout()
{
    showAboutBox(this);
}
