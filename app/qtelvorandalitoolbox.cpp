#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include "busscan.h"
#include "busyscope.h"
#include "dalierase.h"
#include "endpointarguments.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "portlabel.h"

#include <QAction>
#include <QCoreApplication>
#include <QKeySequence>
#include <QMessageBox>

#include <utility>

namespace {

const QString sendFailedLine = QStringLiteral("Error while sending frame. Please retry...");

} // namespace

// The logo and the window icon are compiled into this static library; nothing refers to the bundle by
// name, so without this the linker would leave it out of the program.
static void registerResources()
{
    Q_INIT_RESOURCE(resources);
}

qtelvorandalitoolbox::qtelvorandalitoolbox(QWidget *parent)
    : qtelvorandalitoolbox(QList<QUrl>(), parent)
{}

qtelvorandalitoolbox::qtelvorandalitoolbox(const QList<QUrl> &extraEndpoints, QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui::qtelvorandalitoolbox)
{
    registerResources();
    for (const QUrl &url : extraEndpoints)
        extraPorts.append(endpointEntry(url));
    auto *quitAction = new QAction(this);
    qSetMessagePattern(QStringLiteral("%{file}:%{line} - %{message}"));
    ui->setupUi(this);
    setWindowIcon(QIcon(QStringLiteral(":/winico")));
    setWindowTitle(QStringLiteral("Telvoran2 DALI toolbox (") + QCoreApplication::applicationVersion() +
                   QLatin1Char(')'));

    // Without a menu bar the action must belong to the window for its shortcut to fire.
    // NOLINTNEXTLINE(bugprone-suspicious-enum-usage): modifier | key is how Qt spells a key combination.
    quitAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    addAction(quitAction);

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
        if (!selectionChangedMeanwhile)
            adoptManager(new MyTreatComPc(endpointText(index)));
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
}

void qtelvorandalitoolbox::on_butScan_clicked()
{
    if (scan || erase)
        return;
    ui->comboScan->clear();
    if (!ensureManager()) {
        showStatus(sendFailedLine);
        return;
    }
    scan = new BusScan(treatComPc, this);
    connect(scan, &BusScan::progress, this, &qtelvorandalitoolbox::showStatus);
    connect(scan, &BusScan::tableRead, this, [this](const ModuleTable &table) {
        // A later table replaces the list; every DALI interface module is an erase target.
        ui->comboScan->clear();
        for (const ModuleTable::Module &module : table.daliInterfaces())
            ui->comboScan->addItem(module.label(), QVariant(uint(module.id)));
    });
    connect(scan, &BusScan::finished, this, &qtelvorandalitoolbox::scanFinished);
    ui->butScan->setEnabled(false);
    ui->butEraseShort->setEnabled(false);
    scan->start();
}

void qtelvorandalitoolbox::scanFinished(const ScanResult &result)
{
    if (result.outcome != ScanResult::Completed && result.outcome != ScanResult::Cancelled)
        showStatus(result.message);
    jobFinished();
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
    const QString question = QStringLiteral("Erase the short addresses and groups of every DALI slave behind ") +
                             module + QStringLiteral("? This cannot be undone.");
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

// The module entry can be wider than the list was; the window follows its width.
void qtelvorandalitoolbox::on_comboScan_currentIndexChanged(int /*index*/)
{
    adjustSize();
}
