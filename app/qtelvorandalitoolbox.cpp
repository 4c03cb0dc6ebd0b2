#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include "busscan.h"
#include "bustrafficwindow.h"
#include "busyscope.h"
#include "dalierase.h"
#include "endpointarguments.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "portlabel.h"
#include "traffictrace.h"

#include <QAction>
#include <QColor>
#include <QCoreApplication>
#include <QFileDialog>
#include <QHeaderView>
#include <QJsonDocument>
#include <QKeySequence>
#include <QMessageBox>
#include <QSaveFile>
#include <QScreen>

#include <utility>

namespace {

const QString sendFailedLine = QStringLiteral("Error while sending frame. Please retry...");

// The module table shows this many rows before it scrolls.
constexpr int moduleRowsShown = 10;
// The status bar's margins and size grip around its message.
constexpr int statusMarginPx = 32;
// The erase targets stand out from the other modules: bold, on a lamp-amber tint.
const QColor daliRowTint(0xFF, 0xF1, 0xD0);

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
    , trace(trace ? trace : new TrafficTrace)
    , exportAction(new QAction(QStringLiteral("&Export inventory..."), this))
{
    this->trace->setParent(this);
    registerResources();
    for (const QUrl &url : extraEndpoints)
        extraPorts.append(endpointEntry(url));
    auto *quitAction = new QAction(this);
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

    // Without a menu bar the action must belong to the window for its shortcut to fire.
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
    ui->tableModules->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Compact until a scan fills it: the header alone.
    ui->tableModules->setMaximumHeight(ui->tableModules->horizontalHeader()->sizeHint().height() +
                                       2 * ui->tableModules->frameWidth());
    connect(ui->tableModules, &QTableWidget::itemSelectionChanged, this,
            &qtelvorandalitoolbox::followTableSelection);

    on_butRefresh_clicked();
    adjustSize();
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
    portList = MyDiFtdi::discoverPorts(PortUsbKvmx) + extraPorts;

    // The final order is settled before the first insertion: an entry inserted above the current
    // one would change the current index and reopen the same endpoint.
    QList<PortEntry> ordered;
    for (const PortEntry &entry : qAsConst(portList)) {
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
            ui->comboPort->addItem(portLabel(entry), entry.url);
        ui->comboPort->setCurrentIndex(keep);
        showConnectionState(true, scan.isNull() && erase.isNull());
        // A module that went away since is only noticed when something is sent to it.
        treatComPc->checkLink();
        return;
    }
    ui->comboPort->clear();
    for (const PortEntry &entry : qAsConst(ordered))
        ui->comboPort->addItem(portLabel(entry), entry.url);
    ui->comboPort->setCurrentIndex(0);
    freshManager = nullptr;
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
            trace->setEndpoint(ui->comboPort->itemData(index).toUrl().toString(QUrl::RemovePassword));
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
    const QString state = connected ? QStringLiteral("Connected to ") : QStringLiteral("Not connected to ");
    showStatus(state + treatComPc->urlString());
    if (scanFollows)
        ui->butScan->setEnabled(connected);
}

void qtelvorandalitoolbox::showStatus(const QString &line)
{
    ui->statusbar->showMessage(line);
    // An outcome the installer cannot read to its end is no outcome: the window widens for it, up to
    // the screen's width.
    const int needed = ui->statusbar->fontMetrics().horizontalAdvance(line) + statusMarginPx;
    if (needed > width())
        resize(qMin(needed, screen()->availableGeometry().width()), height());
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
    ui->labelModules->setText(QStringLiteral("Scanning the bus behind %1...")
                                  .arg(QUrl(treatComPc->urlString()).toString(QUrl::RemovePassword)));
    scan = new BusScan(treatComPc, this);
    connect(scan, &BusScan::progress, this, &qtelvorandalitoolbox::showStatus);
    connect(scan, &BusScan::tableRead, this, &qtelvorandalitoolbox::showModules);
    connect(scan, &BusScan::finished, this, &qtelvorandalitoolbox::scanFinished);
    ui->butScan->setEnabled(false);
    ui->butEraseShort->setEnabled(false);
    scan->start();
}

void qtelvorandalitoolbox::scanFinished(const ScanResult &result)
{
    if (result.outcome != ScanResult::Completed && result.outcome != ScanResult::Cancelled)
        showStatus(result.message);
    lastScan = result;
    exportAction->setEnabled(true);
    const int count = int(result.table.modules.size());
    if (result.completed())
        ui->labelModules->setText(
            (count == 1 ? QStringLiteral("1 module") : QStringLiteral("%1 modules").arg(count)) +
            QStringLiteral(" on the bus behind %1, scanned at %2. The DALI interface modules, "
                           "in bold, are those Erase can target.")
                .arg(result.endpoint, result.finishedAt.toString(QStringLiteral("HH:mm:ss"))));
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

// A DALI interface module chosen in the table is the one Erase targets.
void qtelvorandalitoolbox::followTableSelection()
{
    const QList<QTableWidgetItem *> selected = ui->tableModules->selectedItems();
    if (syncingSelection || selected.isEmpty())
        return;
    const int index = ui->comboScan->findData(selected.first()->data(Qt::UserRole));
    if (index < 0)
        return;
    syncingSelection = true;
    ui->comboScan->setCurrentIndex(index);
    syncingSelection = false;
}

// Grows the window to show what it holds, never shrinking below the size the user gave it.
void qtelvorandalitoolbox::growToFit()
{
    const QSize wanted = sizeHint();
    resize(qMax(width(), wanted.width()), qMax(height(), wanted.height()));
}

void qtelvorandalitoolbox::exportInventory()
{
    if (!lastScan.finishedAt.isValid())
        return;
    QString filter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export inventory"),
        QStringLiteral("telvoran-inventory-%1.csv")
            .arg(lastScan.finishedAt.toString(QStringLiteral("yyyyMMdd-HHmmss"))),
        QStringLiteral("CSV files (*.csv);;JSON files (*.json)"), &filter);
    if (path.isEmpty())
        return;
    const bool json = path.endsWith(QLatin1String(".json"), Qt::CaseInsensitive) ||
                      (!path.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive) &&
                       filter.startsWith(QLatin1String("JSON")));
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(json ? QJsonDocument(lastScan.toJson()).toJson(QJsonDocument::Indented)
                        : lastScan.toCsv());
        if (file.commit()) {
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
    connect(erase, &DaliErase::progress, this, &qtelvorandalitoolbox::showStatus);
    connect(erase, &DaliErase::finished, this, [this](DaliErase::Outcome outcome, const QString &message) {
        if (outcome != DaliErase::Cancelled)
            showStatus(message);
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
    const QString question =
        QStringLiteral("Erase the short addresses and groups of every DALI slave behind ") + module +
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
    ui->butEraseShort->setEnabled(true);
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
