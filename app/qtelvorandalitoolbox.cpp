#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include "busscan.h"
#include "bustrafficwindow.h"
#include "busyscope.h"
#include "connectdialog.h"
#include "dalierase.h"
#include "endpointarguments.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "portlabel.h"
#include "shownurl.h"
#include "traffictrace.h"

#include <QAction>
#include <QColor>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonDocument>
#include <QKeySequence>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>
#include <QSettings>
#include <QUrlQuery>

#include <algorithm>
#include <utility>

namespace {

const QString sendFailedLine = QStringLiteral("Error while sending frame. Please retry...");

// The module table shows this many rows before it scrolls.
constexpr int moduleRowsShown = 10;
// The erase targets stand out from the other modules: bold, on a lamp-amber tint.
const QColor daliRowTint(0xFF, 0xF1, 0xD0);
// The table cells carry the module's id (UserRole) and its label (labelRole).
constexpr int labelRole = Qt::UserRole + 1;
// The settings key of the endpoints typed in or found, as URL texts without their passwords.
const QString endpointsKey = QStringLiteral("endpoints");
const QString advice = QStringLiteral("Check the connection, then press Refresh.");

// "3 modules on the bus, 2 of them DALI interface modules".
QString moduleCount(int modules, int dali)
{
    if (modules == 1)
        return dali ? QStringLiteral("1 module on the bus, a DALI interface module")
                    : QStringLiteral("1 module on the bus, no DALI interface module");
    const QString all = QStringLiteral("%1 modules on the bus, ").arg(modules);
    if (dali == 0)
        return all + QStringLiteral("none of them a DALI interface module");
    if (dali == 1)
        return all + QStringLiteral("1 of them a DALI interface module");
    return all + QStringLiteral("%1 of them DALI interface modules").arg(dali);
}

} // namespace

// The logo and the window icon are compiled into this static library; nothing refers to the bundle by
// name, so without this the linker would leave it out of the program.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

const QString qtelvorandalitoolbox::noEndpointLine = QStringLiteral(
    "No bus master found. Plug it in and press Refresh, or use Connection > Connect to... for an "
    "Ethernet module or a serial port.");

qtelvorandalitoolbox::qtelvorandalitoolbox(QWidget *parent)
    : qtelvorandalitoolbox(QList<QUrl>(), nullptr, parent)
{}

qtelvorandalitoolbox::qtelvorandalitoolbox(const QList<QUrl> &extraEndpoints, TrafficTrace *trace,
                                           QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::qtelvorandalitoolbox)
    , trace(trace ? trace : new TrafficTrace)
    , exportAction(new QAction(QStringLiteral("&Export inventory..."), this))
{
    this->trace->setParent(this);
    registerResources();
    for (const QUrl &url : extraEndpoints)
        extraPorts.append(endpointEntry(url));
    // Whatever the settings hold, only URLs the link could open are offered.
    const EndpointArguments remembered =
        parseEndpointArguments(QSettings().value(endpointsKey).toStringList());
    for (const QUrl &url : remembered.endpoints)
        rememberedPorts.append(endpointEntry(url));
    auto *quitAction = new QAction(QStringLiteral("&Quit"), this);
    qSetMessagePattern(QStringLiteral("%{file}:%{line} - %{message}"));
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

    // NOLINTNEXTLINE(bugprone-suspicious-enum-usage): modifier | key is how Qt spells a key combination.
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    addAction(quitAction);

    auto *trafficAction = new QAction(QStringLiteral("Bus &traffic"), this);
    trafficAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+T")));
    connect(trafficAction, &QAction::triggered, this, &qtelvorandalitoolbox::showBusTraffic);
    addAction(trafficAction);
    exportAction->setShortcut(QKeySequence::Save);
    exportAction->setEnabled(false);
    connect(exportAction, &QAction::triggered, this, &qtelvorandalitoolbox::exportInventory);
    addAction(exportAction);
    ui->tableModules->addAction(exportAction);
    buildMenus(quitAction, trafficAction);
    ui->tableModules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Compact until a scan fills it: the header alone.
    ui->tableModules->setMaximumHeight(ui->tableModules->horizontalHeader()->sizeHint().height() +
                                       2 * ui->tableModules->frameWidth());
    connect(ui->tableModules, &QTableWidget::itemSelectionChanged, this,
            &qtelvorandalitoolbox::followTableSelection);

    on_butRefresh_clicked();
    adjustSize();
}

void qtelvorandalitoolbox::buildMenus(QAction *quitAction, QAction *trafficAction)
{
    const auto add = [this](QMenu *menu, const QString &text, void (qtelvorandalitoolbox::*slot)(),
                            const QKeySequence &keys = QKeySequence()) {
        auto *action = new QAction(text, this);
        action->setShortcut(keys);
        connect(action, &QAction::triggered, this, slot);
        menu->addAction(action);
    };
    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    file->addAction(exportAction);
    file->addSeparator();
    file->addAction(quitAction);

    QMenu *connection = menuBar()->addMenu(QStringLiteral("&Connection"));
    add(connection, QStringLiteral("&Connect to..."), &qtelvorandalitoolbox::connectTo);
    add(connection, QStringLiteral("&Search the network"), &qtelvorandalitoolbox::searchNetwork);
    add(connection, QStringLiteral("&Refresh"), &qtelvorandalitoolbox::on_butRefresh_clicked,
        QKeySequence::Refresh);
    connection->addSeparator();
    add(connection, QStringLiteral("&Forget endpoints"), &qtelvorandalitoolbox::forgetEndpoints);

    menuBar()->addMenu(QStringLiteral("&View"))->addAction(trafficAction);
    add(menuBar()->addMenu(QStringLiteral("&Help")), QStringLiteral("&About"),
        &qtelvorandalitoolbox::showAbout);
}

qtelvorandalitoolbox::~qtelvorandalitoolbox()
{
    // An Ethernet logout waits 1.5 s; nothing reached from there may build a manager for a window
    // that is going.
    replacingManager = true;
    releaseManager();
    delete ui;
}

void qtelvorandalitoolbox::on_butRefresh_clicked()
{
    const BusyScope busy;
    portList = MyDiFtdi::discoverPorts(PortUsbKvmx) + extraPorts + rememberedPorts;

    // The final order is settled before the first insertion: an entry inserted above the current
    // one would change the current index and reopen the same endpoint.
    QList<PortEntry> ordered;
    QList<QUrl> listed;
    for (const PortEntry &entry : qAsConst(portList)) {
        if (listed.contains(entry.url))
            continue;
        listed.append(entry.url);
        if (listedAtTop(entry))
            ordered.prepend(entry);
        else
            ordered.append(entry);
    }
    // A working connection that is still listed stays as it is: closing it would log the module
    // session out and open it again for nothing.
    const QUrl current = ui->comboPort->currentData().toUrl();
    int keep = -1;
    for (int i = 0; i < ordered.size() && treatComPc && treatComPc->isConnected(); ++i) {
        if (ordered.at(i).url == current) {
            keep = i;
            break;
        }
    }
    if (keep >= 0) {
        const QSignalBlocker blocker(ui->comboPort);
        ui->comboPort->clear();
        for (const PortEntry &entry : qAsConst(ordered))
            insertEndpointItem(ui->comboPort->count(), entry);
        ui->comboPort->setCurrentIndex(keep);
        showConnectionState(true, scan.isNull() && erase.isNull());
        // A module that went away since is only noticed when something is sent to it.
        treatComPc->checkLink();
        return;
    }
    ui->comboPort->clear();
    for (const PortEntry &entry : qAsConst(ordered))
        insertEndpointItem(ui->comboPort->count(), entry);
    ui->comboPort->setCurrentIndex(0);
    freshManager = nullptr;
    if (ordered.isEmpty() && !treatComPc)
        showConnectionState(false, true);
}

// An endpoint list entry: its label, its URL as the item's data, the URL in full on hover.
void qtelvorandalitoolbox::insertEndpointItem(int index, const PortEntry &entry)
{
    ui->comboPort->insertItem(index, portLabel(entry), entry.url);
    ui->comboPort->setItemData(index, shownUrl(entry.url), Qt::ToolTipRole);
}

int qtelvorandalitoolbox::findEndpoint(const QUrl &url) const
{
    for (int i = 0; i < ui->comboPort->count(); ++i) {
        if (ui->comboPort->itemData(i).toUrl() == url)
            return i;
    }
    return -1;
}

void qtelvorandalitoolbox::addEndpoint(const QUrl &url, bool select)
{
    const PortEntry entry = endpointEntry(url);
    const auto isThis = [&url](const PortEntry &other) { return other.url == url; };
    if (std::none_of(extraPorts.cbegin(), extraPorts.cend(), isThis) &&
        std::none_of(rememberedPorts.cbegin(), rememberedPorts.cend(), isThis)) {
        rememberedPorts.append(entry);
        saveRemembered();
    }
    int index = findEndpoint(url);
    const bool wasEmpty = ui->comboPort->count() == 0;
    if (index < 0) {
        // Inserted without a selection change: one above the current entry would reopen it.
        const QSignalBlocker blocker(ui->comboPort);
        index = listedAtTop(entry) ? 0 : ui->comboPort->count();
        insertEndpointItem(index, entry);
    }
    if (!select && !wasEmpty)
        return;
    if (ui->comboPort->currentIndex() != index)
        ui->comboPort->setCurrentIndex(index);
    else if ((!treatComPc || !treatComPc->isConnected()) && replaceManager(index))
        showConnectionState(treatComPc->isConnected(), true);
}

void qtelvorandalitoolbox::saveRemembered() const
{
    QStringList urls;
    for (const PortEntry &entry : rememberedPorts)
        urls << entry.url.toString(QUrl::RemovePassword | QUrl::FullyEncoded);
    QSettings().setValue(endpointsKey, urls);
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
    if (replacingManager)
        return;
    QList<PortEntry> found;
    {
        const BusyScope busy;
        showStatus(QStringLiteral("Searching the network for Ethernet interface modules..."));
        found = MyDiFtdi::discoverPorts(
            PortUdp, probeTargets ? *probeTargets : MyDiFtdi::broadcastProbeTargets(), probeBindPort);
    }
    QList<QUrl> urls;
    for (const PortEntry &entry : qAsConst(found)) {
        if (!urls.contains(entry.url))
            urls.append(entry.url);
    }
    if (urls.isEmpty()) {
        showStatus(QStringLiteral("No Ethernet interface module answered. Check that it is powered and on "
                                  "this network, or use Connection > Connect to... with its address."));
        return;
    }
    // The first module found is chosen unless the window is already connected.
    const bool choose = !treatComPc || !treatComPc->isConnected();
    for (int i = 0; i < urls.size(); ++i)
        addEndpoint(urls.at(i), choose && i == 0);
    if (!choose)
        showStatus(
            urls.size() == 1
                ? QStringLiteral("1 Ethernet interface module found; choose it in the endpoint list.")
                : QStringLiteral("%1 Ethernet interface modules found; choose one in the endpoint list.")
                      .arg(urls.size()));
}

void qtelvorandalitoolbox::forgetEndpoints()
{
    rememberedPorts.clear();
    QSettings().remove(endpointsKey);
    on_butRefresh_clicked();
}

void qtelvorandalitoolbox::showAbout()
{
    QMessageBox::about(
        this, QStringLiteral("About Telvoran2 DALI toolbox"),
        QStringLiteral("<p><b>Telvoran2 DALI toolbox</b> %1</p>"
                       "<p>Scans the Telvoran2 bus and erases the DALI short addresses and groups "
                       "behind a DALI interface module.</p>"
                       "<p>Copyright 2026 The Telvoran2 DALI toolbox developers. Licence: proprietary, "
                       "all rights reserved.</p>"
                       "<p>Built with Qt %2, running on Qt %3. Qt is licensed under the GNU Lesser General "
                       "Public License version 3.</p>")
            .arg(QCoreApplication::applicationVersion(), QStringLiteral(QT_VERSION_STR),
                 QString::fromLatin1(qVersion())));
}

void qtelvorandalitoolbox::on_comboPort_currentIndexChanged(int index)
{
    if (replaceManager(index)) {
        freshManager = treatComPc;
        showConnectionState(treatComPc->isConnected(), true);
    }
}

// Choosing the entry that is already current reopens its endpoint when the link is down.
void qtelvorandalitoolbox::on_comboPort_activated(int index)
{
    MyTreatComPc *chosen = std::exchange(freshManager, nullptr);
    if (index != ui->comboPort->currentIndex() || !treatComPc || treatComPc == chosen ||
        treatComPc->isConnected())
        return;
    if (replaceManager(index))
        showConnectionState(treatComPc->isConnected(), true);
}

// Gives the window a manager for the endpoint of entry `index`; false when the call only noted
// the change for a replacement already running further up the stack.
bool qtelvorandalitoolbox::replaceManager(int index)
{
    if (replacingManager) {
        selectionChangedMeanwhile = true;
        return false;
    }
    const BusyScope busy;
    replacingManager = true;
    do {
        selectionChangedMeanwhile = false;
        releaseManager();
        if (!selectionChangedMeanwhile) {
            // Opened once the trace listens, so that it sees the module session open too.
            auto *fresh = new MyTreatComPc(QString());
            trace->setEndpoint(shownUrl(ui->comboPort->itemData(index).toUrl()));
            connect(fresh, &MyTreatComPc::traffic, trace, &TrafficTrace::record);
            fresh->open(endpointText(index));
            adoptManager(fresh);
        }
        // A change noted during the close or the open wins: start over with the entry now current.
        index = ui->comboPort->currentIndex();
    } while (selectionChangedMeanwhile);
    replacingManager = false;
    return true;
}

void qtelvorandalitoolbox::releaseManager()
{
    stopJobs();
    // Cleared before the delete: an Ethernet close waits with events processed, and a slot reached
    // from there must find no manager rather than the one being destroyed.
    MyTreatComPc *old = std::exchange(treatComPc, nullptr);
    if (!old)
        return;
    disconnect(old, nullptr, nullptr, nullptr);
    delete old;
}

// Takes a manager whose construction has returned: during an Ethernet open a slot could otherwise
// reach a manager that is still half built.
void qtelvorandalitoolbox::adoptManager(MyTreatComPc *manager)
{
    treatComPc = manager;
    connect(manager, &MyTreatComPc::linkConnectionChanged, this,
            &qtelvorandalitoolbox::link_connectionChanged_cb);
}

// Scan and erase work without a prior selection; they get a manager for the current entry then.
bool qtelvorandalitoolbox::ensureManager()
{
    if (treatComPc)
        return true;
    if (replacingManager)
        return false;
    replaceManager(ui->comboPort->currentIndex());
    if (!treatComPc)
        return false;
    showConnectionState(treatComPc->isConnected(), false);
    return true;
}

QString qtelvorandalitoolbox::endpointText(int index) const
{
    // Fully encoded: the link parses the text strictly, and a decoded password may hold a blank.
    return ui->comboPort->itemData(index).toUrl().toString(QUrl::FullyEncoded);
}

// The link went down (USB master unplugged, module session ended, socket or port failed) or came back.
void qtelvorandalitoolbox::link_connectionChanged_cb(bool connected)
{
    if (treatComPc && sender() == treatComPc)
        showConnectionState(connected, scan.isNull() && erase.isNull());
}

void qtelvorandalitoolbox::showConnectionState(bool connected, bool scanFollows)
{
    if (scanFollows)
        ui->butScan->setEnabled(connected);
    updateErase();
    if (!lastScan.finishedAt.isValid() && scan.isNull())
        ui->labelModules->setText(connected
                                      ? QStringLiteral("Modules on the bus: press Scan to list them.")
                                      : QStringLiteral("Modules on the bus: listed here once the bus is "
                                                       "connected and scanned."));
    if (ui->comboPort->count() == 0) {
        showStatus(noEndpointLine);
        return;
    }
    const QString url = treatComPc->urlString();
    if (connected) {
        showStatus(QStringLiteral("Connected to ") + url);
        return;
    }
    const QString reason = openFailure();
    showStatus(QStringLiteral("Not connected to ") + url +
               (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + QStringLiteral(". ") +
               advice);
}

// Why the current endpoint did not open, when that is known.
QString qtelvorandalitoolbox::openFailure() const
{
    const QUrl url(treatComPc->urlString());
    if (url.scheme() == QLatin1String("serial") && !QUrlQuery(url).hasQueryItem(QStringLiteral("baud")))
        return QStringLiteral("the baud rate is missing (add ?baud=%1, or use Connection > Connect to...)")
            .arg(ConnectDialog::defaultBaud);
    return treatComPc->openFailureReason();
}

void qtelvorandalitoolbox::showStatus(const QString &line)
{
    // A line longer than the window is cut at its edge; hovering shows all of it. The window keeps
    // its width: widening it for every long message would push it past the screen.
    ui->statusbar->showMessage(line);
    ui->statusbar->setToolTip(line);
}

// Erase needs a link and a target, and no job running.
void qtelvorandalitoolbox::updateErase()
{
    ui->butEraseShort->setEnabled(treatComPc && treatComPc->isConnected() &&
                                  ui->comboScan->currentIndex() >= 0 && scan.isNull() && erase.isNull());
}

void qtelvorandalitoolbox::on_butScan_clicked()
{
    if (scan || erase)
        return;
    ui->comboScan->clear();
    showModules(ModuleTable());
    if (!ensureManager()) {
        showStatus(sendFailedLine);
        ui->labelModules->setText(QStringLiteral("No scan: not connected."));
        return;
    }
    ui->labelModules->setText(QStringLiteral("Scanning the bus behind %1...").arg(treatComPc->urlString()));
    scan = new BusScan(treatComPc, this);
    connect(scan, &BusScan::progress, this, &qtelvorandalitoolbox::showStatus);
    connect(scan, &BusScan::tableRead, this, &qtelvorandalitoolbox::showModules);
    connect(scan, &BusJob::result, this, [this] { scanFinished(scan->scanResult()); });
    ui->butScan->setEnabled(false);
    ui->butEraseShort->setEnabled(false);
    scan->start();
}

void qtelvorandalitoolbox::scanFinished(const ScanResult &result)
{
    if (result.outcome == BusJob::Incomplete) {
        showStatus(result.message + QStringLiteral(" Scan again."));
    } else if (result.outcome != BusJob::Completed && result.outcome != BusJob::Cancelled) {
        // With the link gone Scan is disabled: the way on is Refresh.
        const bool connected = treatComPc && treatComPc->isConnected();
        const bool connectionAdvice =
            result.outcome == BusJob::NoAnswer || result.outcome == BusJob::LinkLost;
        showStatus(result.message + (!connectionAdvice ? QString()
                                     : connected ? QStringLiteral(" Check the connection, then Scan again.")
                                                 : QLatin1Char(' ') + advice));
    }
    lastScan = result;
    exportAction->setEnabled(true);
    const int count = int(result.table.modules.size());
    const int dali = int(result.table.daliInterfaces().size());
    if (result.completed())
        ui->labelModules->setText(
            moduleCount(count, dali) +
            QStringLiteral(" (behind %1, scanned at %2).")
                .arg(result.endpoint, result.finishedAt.toString(QStringLiteral("HH:mm:ss"))) +
            (dali ? QStringLiteral(" Erase can target those in bold.") : QString()));
    else if (result.tableRead)
        ui->labelModules->setText(
            QStringLiteral("Scan not finished: only the %1 modules reported before it stopped.").arg(count));
    else
        ui->labelModules->setText(QStringLiteral("Scan not finished: no module table was reported."));
    growToFit();
    jobFinished();
}

// The DALI interface modules go to the module list as erase targets; every module goes to the table.
void qtelvorandalitoolbox::showModules(const ModuleTable &table)
{
    ui->comboScan->clear();
    for (const ModuleTable::Module &module : table.daliInterfaces())
        ui->comboScan->addItem(module.label(), QVariant(uint(module.id)));

    QTableWidget *view = ui->tableModules;
    view->setRowCount(0);
    for (const ModuleTable::Module &module : table.modules) {
        const int row = view->rowCount();
        view->insertRow(row);
        const QStringList cells{module.typeName(), QString::number(module.type()),
                                QString::number(module.serial()), QString::number(module.version)};
        for (int column = 0; column < cells.size(); ++column) {
            auto *cell = new QTableWidgetItem(cells.at(column));
            cell->setData(Qt::UserRole, uint(module.id));
            cell->setData(labelRole, module.label());
            if (module.isDaliInterface()) {
                QFont bold = cell->font();
                bold.setBold(true);
                cell->setFont(bold);
                cell->setBackground(daliRowTint);
            }
            view->setItem(row, column, cell);
        }
    }
    if (table.modules.isEmpty())
        return;
    const int rowsHeight =
        qMin(view->verticalHeader()->length(), moduleRowsShown * view->verticalHeader()->sectionSize(0));
    view->setMaximumHeight(QWIDGETSIZE_MAX);
    view->setMinimumHeight(view->horizontalHeader()->sizeHint().height() + rowsHeight +
                           2 * view->frameWidth());
    growToFit();
    on_comboScan_currentIndexChanged(ui->comboScan->currentIndex());
}

// A DALI interface module chosen in the table is the one Erase targets; any other row leaves no
// target, so that the list never names a module other than the one highlighted.
void qtelvorandalitoolbox::followTableSelection()
{
    const QList<QTableWidgetItem *> selected = ui->tableModules->selectedItems();
    if (syncingSelection || selected.isEmpty())
        return;
    const int index = ui->comboScan->findData(selected.first()->data(Qt::UserRole));
    syncingSelection = true;
    ui->comboScan->setCurrentIndex(index);
    syncingSelection = false;
    updateErase();
    if (index < 0)
        showStatus(
            selected.first()->data(labelRole).toString() +
            QStringLiteral(" is no DALI interface module: nothing to erase there. Choose a bold row."));
}

// Grows the window in height to show the module table; the width stays as the user left it.
void qtelvorandalitoolbox::growToFit()
{
    const int wanted = sizeHint().height();
    if (wanted > height())
        resize(width(), wanted);
}

void qtelvorandalitoolbox::exportInventory()
{
    if (!lastScan.finishedAt.isValid())
        return;
    const QString csvFilter = QStringLiteral("CSV files (*.csv)");
    QFileDialog dialog(this, QStringLiteral("Export inventory"), exportFolder,
                       csvFilter + QStringLiteral(";;JSON files (*.json)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // A name typed without extension gets the one of the type chosen (and is checked for overwriting
    // with it).
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    connect(&dialog, &QFileDialog::filterSelected, &dialog, [&dialog, csvFilter](const QString &filter) {
        dialog.setDefaultSuffix(filter == csvFilter ? QStringLiteral("csv") : QStringLiteral("json"));
    });
    dialog.selectFile(QStringLiteral("telvoran-inventory-%1.csv")
                          .arg(lastScan.finishedAt.toString(QStringLiteral("yyyyMMdd-HHmmss"))));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    // The dialog takes a dot anywhere in a typed path (a folder "v1.2") for an extension.
    if (QFileInfo(path).suffix().isEmpty())
        path += QLatin1Char('.') + dialog.defaultSuffix();
    const bool json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) ||
                      (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) &&
                       dialog.selectedNameFilter() != csvFilter);
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(json ? QJsonDocument(lastScan.toJson()).toJson(QJsonDocument::Indented)
                        : lastScan.toCsv());
        if (file.commit()) {
            // The next export starts there.
            exportFolder = QFileInfo(path).absolutePath();
            showStatus(QStringLiteral("Inventory saved to ") + path);
            return;
        }
    }
    QMessageBox::warning(
        this, windowTitle(),
        QStringLiteral("Could not save the inventory to %1: %2").arg(path, file.errorString()));
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
        // Beside the main window, not over it: to its right, narrowed to the room there, or else below it.
        constexpr int narrowest = 400;
        constexpr int lowest = 200;
        const QRect screenArea = screen()->availableGeometry();
        const QRect main = frameGeometry();
        QRect place(main.topRight() + QPoint(1, 0), traffic->size());
        if (screenArea.right() - main.right() >= narrowest) {
            place.setRight(qMin(place.right(), screenArea.right()));
        } else if (screenArea.bottom() - main.bottom() >= lowest) {
            place.moveTopLeft(main.bottomLeft() + QPoint(0, 1));
            place.setBottom(qMin(place.bottom(), screenArea.bottom()));
            if (place.right() > screenArea.right())
                place.moveRight(screenArea.right());
        } else if (place.right() > screenArea.right()) {
            place.moveRight(screenArea.right());
        }
        traffic->setGeometry(place);
    }
    traffic->show();
    traffic->raise();
    traffic->activateWindow();
}

void qtelvorandalitoolbox::on_butEraseShort_clicked()
{
    if (scan || erase)
        return;
    // Without a listed module the frame would go to address 0, which names no DALI interface.
    if (ui->comboScan->currentIndex() < 0) {
        showStatus(QStringLiteral("No DALI module selected. Scan the bus first."));
        return;
    }
    const QString module = ui->comboScan->currentText();
    const quint32 moduleId = ui->comboScan->currentData().toUInt();
    if (!confirmErase(module))
        return;
    if (!ensureManager()) {
        showStatus(sendFailedLine);
        return;
    }
    erase = new DaliErase(treatComPc, moduleId, module, this);
    connect(erase, &BusJob::progress, this, &qtelvorandalitoolbox::showStatus);
    connect(erase, &BusJob::result, this, [this] {
        if (erase->outcome() != BusJob::Cancelled)
            showStatus(erase->text());
        jobFinished();
    });
    ui->butScan->setEnabled(false);
    ui->butEraseShort->setEnabled(false);
    erase->start();
}

// The erase cannot be undone and reaches every DALI slave of the line: it is asked for, with No as
// the answer that a stray Enter gives.
bool qtelvorandalitoolbox::confirmErase(const QString &module)
{
    // The module's name is not broken across lines.
    QString unbroken = module;
    unbroken.replace(QLatin1Char(' '), QChar(0x00A0));
    const QString question =
        QStringLiteral("Erase the short addresses and groups of every DALI slave behind ") + unbroken +
        QStringLiteral("? This cannot be undone.");
    return QMessageBox::question(this, windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

// After a scan or an erase, Scan follows the link again; Erase is enabled.
void qtelvorandalitoolbox::jobFinished()
{
    if (scan)
        scan->deleteLater();
    if (erase)
        erase->deleteLater();
    scan.clear();
    erase.clear();
    ui->butScan->setEnabled(treatComPc && treatComPc->isConnected());
    updateErase();
}

// Before its manager goes: a job bound to it can have no outcome of its own any more.
void qtelvorandalitoolbox::stopJobs()
{
    if (scan)
        scan->stop(QStringLiteral("The connection was closed."));
    if (erase)
        erase->stop(QStringLiteral("The connection was closed."));
}

// The module entry can be wider than the list was; the window follows its width. Its row in the
// table is selected with it.
void qtelvorandalitoolbox::on_comboScan_currentIndexChanged(int index)
{
    growToFit();
    updateErase();
    if (syncingSelection)
        return;
    const QVariant id = ui->comboScan->itemData(index);
    for (int row = 0; row < ui->tableModules->rowCount(); ++row) {
        if (id.isValid() && ui->tableModules->item(row, 0)->data(Qt::UserRole) == id) {
            syncingSelection = true;
            ui->tableModules->selectRow(row);
            syncingSelection = false;
            return;
        }
    }
}
