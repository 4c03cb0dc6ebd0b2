#include "qtelvorandalitoolbox.h"
#include "ui_qtelvorandalitoolbox.h"

#include "applog.h"
#include "endpointarguments.h"
#include "moduletypecodes.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "portlabel.h"

#include <QAction>
#include <QCoreApplication>
#include <QDebug>
#include <QKeySequence>
#include <QtEndian>

#include <utility>

namespace {

constexpr int commandCoackn = 0x01;
constexpr int commandCotranstable = 0x16;
constexpr int commandCosetdata = 0x1F;
constexpr int commandCoscan = 0x31;
constexpr int commandCogivenbrmod = 0x37;
constexpr int commandCosendtask = 0x63;

// Requests of this window: frame type 1, acknowledgement requested, 4-byte addresses, class 0x20.
constexpr int requestFrameType = 1;
constexpr int ackRequested = 0x04;
constexpr int addrSize32 = 0x18;
constexpr int requestFrameClass = 0x20;
// The scan goes to the bus master, which needs no address; the erase names its module.
constexpr int rxModeMaster = 0;
constexpr int rxModeAddressed = 3;

// Module-table reports: the table id at byte 1, its length in bytes at 4-5, then 8-byte records.
constexpr int moduleTableId = 0xF0;
constexpr int tableHeaderSize = 6;
constexpr int moduleRecordSize = 8;
constexpr int recordVersionOffset = 6;
constexpr quint32 serialNumberMask = 0x00FFFFFF;

// Report bytes of COSENDTASK.
constexpr int reportEndOfScan = 1;
constexpr int reportScanStarted = 2;

// COSETDATA parameter 0x3F, value 0xF1: the module erases the short addresses and groups of all
// DALI slaves on its line.
const QByteArray eraseShortData = QByteArrayLiteral("\x3F\xF1");

const QString sendFailedLine = QStringLiteral("Error while sending frame. Please retry...");

int byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes.at(index));
}

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
    ui->comboPort->clear();
    for (const PortEntry &entry : qAsConst(ordered))
        ui->comboPort->addItem(portLabel(entry), entry.url);
    ui->comboPort->setCurrentIndex(0);
}

void qtelvorandalitoolbox::on_comboPort_currentIndexChanged(int index)
{
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
    connect(manager, &MyTreatComPc::newFrameReceived, this, &qtelvorandalitoolbox::kvmxport_newframe_cb);
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

// The link went down (USB master unplugged, module session ended) or came back.
void qtelvorandalitoolbox::link_connectionChanged_cb(bool connected)
{
    if (treatComPc && sender() == treatComPc)
        showConnectionState(connected, true);
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
    ui->comboScan->clear();
    if (!ensureManager()) {
        showStatus(sendFailedLine);
        return;
    }
    AnswerPolicy policy = treatComPc->policyDefault;
    policy.answerCommand = commandCoackn;
    showStatus(QStringLiteral("KVMX will start bus scanning. Please wait..."));

    MyFrameDec request;
    request.setFrame(requestFrameType, ackRequested, addrSize32, requestFrameClass, treatComPc->pcMode(),
                     rxModeMaster, 0, 0, commandCoscan, QByteArray());
    if (treatComPc->sendFrame(request, policy) != 0) {
        showStatus(sendFailedLine);
        return;
    }
    // The master's reports fail the manager's answer test while the request awaits its COACKN, so
    // they are heard on allNewFrame until the end-of-scan report.
    qCDebug(lcApp) << "CONNECT ALLFRAME";
    connect(treatComPc, &MyTreatComPc::allNewFrame, this, &qtelvorandalitoolbox::kvmxport_newframe_cb);
}

void qtelvorandalitoolbox::on_butEraseShort_clicked()
{
    // Without a listed module the frame would go to address 0, which names no DALI interface.
    if (ui->comboScan->currentIndex() < 0) {
        showStatus(QStringLiteral("No DALI module selected. Scan the bus first."));
        return;
    }
    if (!ensureManager()) {
        showStatus(sendFailedLine);
        return;
    }
    AnswerPolicy policy = treatComPc->policyDefault;
    policy.answerCommand = commandCoackn;
    const QByteArray payload = eraseShortData;
    showStatus(QStringLiteral("Erase short address of all DALI slaves is taking 2sec to complete."));
    const quint32 moduleId = ui->comboScan->currentData().toUInt();

    MyFrameDec request;
    request.setFrame(requestFrameType, ackRequested, addrSize32, requestFrameClass, treatComPc->pcMode(),
                     rxModeAddressed, 0, moduleId, commandCosetdata, payload);
    if (treatComPc->sendFrame(request, policy) != 0)
        showStatus(sendFailedLine);
}

// While listening, a frame that passes the answer test arrives twice (newFrameReceived, then
// allNewFrame); every branch gives the same result when run again on the same frame.
// The slot takes its own copy of each frame, by value, as its connections promise.
// cppcheck-suppress passedByValue
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void qtelvorandalitoolbox::kvmxport_newframe_cb(MyFrameDec frame)
{
    const QByteArray payload = frame.data();
    switch (frame.command()) {
    case commandCogivenbrmod:
        showModuleCount(payload);
        break;
    case commandCosendtask:
        treatTaskReport(payload);
        readModuleTable(payload);
        break;
    case commandCotranstable:
        readModuleTable(payload);
        break;
    default:
        break;
    }
}

void qtelvorandalitoolbox::showModuleCount(const QByteArray &payload)
{
    if (payload.size() < 2)
        return;
    const int count = byteAt(payload, 0) * 256 + byteAt(payload, 1);
    showStatus(QString::number(count) + QStringLiteral(" cards found. Scan continues..."));
}

void qtelvorandalitoolbox::treatTaskReport(const QByteArray &payload)
{
    int report = 0;
    if (payload.isEmpty())
        qCDebug(lcApp) << "Incomplete COSENDTASK frame";
    else
        report = byteAt(payload, 0);

    if (report == reportEndOfScan) {
        if (ui->comboScan->count() == 0)
            showStatus(QStringLiteral("End of scan. No card found !!"));
        qCDebug(lcApp) << "DISCONNECT ALLFRAME";
        // Every scan request added one connection; all of them go.
        if (treatComPc)
            disconnect(treatComPc, &MyTreatComPc::allNewFrame, this,
                       &qtelvorandalitoolbox::kvmxport_newframe_cb);
    } else if (report == reportScanStarted) {
        showStatus(QStringLiteral("Bus scanning started. Please wait..."));
    }
}

// Lists the first DALI interface module of the table. Only whole records inside the payload are
// read, however many the length field announces.
void qtelvorandalitoolbox::readModuleTable(const QByteArray &payload)
{
    if (payload.size() < tableHeaderSize || byteAt(payload, 1) != moduleTableId)
        return;
    ui->comboScan->clear();
    const int announced = (byteAt(payload, 4) * 256 + byteAt(payload, 5)) / moduleRecordSize;
    const int present = (payload.size() - tableHeaderSize) / moduleRecordSize;
    for (int record = 0; record < qMin(announced, present); ++record) {
        const int at = tableHeaderSize + record * moduleRecordSize;
        if (byteAt(payload, at) != daliInterfaceModuleType)
            continue;
        const auto moduleId = qFromBigEndian<quint32>(payload.constData() + at);
        const QString text = QLatin1String(moduleTypeCodes[daliInterfaceModuleType]) +
                             QStringLiteral(" s/n:") + QString::number(moduleId & serialNumberMask) +
                             QStringLiteral(" v%1").arg(byteAt(payload, at + recordVersionOffset));
        ui->comboScan->addItem(text, QVariant(uint(moduleId)));
        break;
    }
    showStatus(QString::number(ui->comboScan->count()) + QStringLiteral(" cards found."));
}

// The module entry can be wider than the list was; the window follows its width.
void qtelvorandalitoolbox::on_comboScan_currentIndexChanged(int /*index*/)
{
    adjustSize();
}
