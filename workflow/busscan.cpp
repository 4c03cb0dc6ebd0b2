#include "busscan.h"

#include "busrequest.h"
#include "mytreatcompc.h"
#include "workflowlog.h"


namespace {

// Report bytes of COSENDTASK.
constexpr int reportEndOfScan = 1;
constexpr int reportScanStarted = 2;

int byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

BusScan::BusScan(MyTreatComPc *manager, QObject *parent)
    : QObject(parent)
    , manager(manager)
{
    watchdog.setSingleShot(true);
    watchdog.setInterval(defaultWatchdogMs);
    probe.setInterval(defaultWatchdogMs / probeFraction);
    connect(&probe, &QTimer::timeout, this, [this] {
        // The session's HELLO over Ethernet: a datagram the module accepts at any time, and whose
        // refusal ends the link of a module that went away.
        if (this->manager)
            this->manager->checkLink();
    });
    connect(&watchdog, &QTimer::timeout, this, [this] {
        finish(ScanResult::Incomplete,
               QStringLiteral("Scan incomplete: no report from the bus master for %1 s. Scan again.")
                   .arg(watchdog.interval() / 1000.0));
    });
}

void BusScan::start()
{
    if (running)
        return;
    running = true;
    scanResult = ScanResult();
    if (manager)
        scanResult.endpoint = manager->urlString();
    emit progress(QStringLiteral("KVMX will start bus scanning. Please wait..."));
    if (!manager) {
        finish(ScanResult::SendFailed, QLatin1String(sendFailedText));
        return;
    }
    // The master acknowledges the request with COACKN; when that is lost, its first report shows
    // that the request arrived, and ends the wait too: a resend would start the scan again.
    const MyFrameDec request = busRequest(*manager, rxModeMaster, 0, commandCoscan);
    AnswerPolicy policy = awaitAck(*manager);
    for (const int report : {commandCosendtask, commandCogivenbrmod, commandCotranstable})
        policy.otherAnswers.append(char(report));
    if (manager->sendFrame(request, policy) != 0) {
        finish(ScanResult::SendFailed, QLatin1String(sendFailedText));
        return;
    }
    probe.start();
    // The master's reports are heard on allNewFrame, whether or not they pass the answer test.
    qCDebug(lcWorkflow) << "CONNECT ALLFRAME";
    listening = true;
    connect(manager, &MyTreatComPc::allNewFrame, this, &BusScan::readReport);
    connect(manager, &MyTreatComPc::newFrameReceived, this, [this](const MyFrameDec &frame) {
        if (frame.command() == commandCoackn)
            masterAnswered();
    });
    // Only the drop of this request tells that the master did not answer; a failed acknowledgement of
    // ours does not. Once the master has answered, the watchdog judges the scan.
    connect(manager, &MyTreatComPc::sendTimeout, this, [this, request](const MyFrameDec &dropped) {
        if (!answered && dropped.text() == request.text())
            finish(ScanResult::NoAnswer,
                   QStringLiteral("No answer from the bus master. Check the connection, then Scan again."));
    });
    connect(manager, &MyTreatComPc::linkConnectionChanged, this, [this](bool connected) {
        if (!connected)
            finish(ScanResult::LinkLost, QStringLiteral("Not connected to ") + manager->urlString() +
                                             QStringLiteral(": the link was lost before the end of the "
                                                            "scan. Check the connection, then Scan again."));
    });
    connect(manager, &QObject::destroyed, this,
            [this] { finish(ScanResult::Cancelled, QStringLiteral("The connection was closed.")); });
}

void BusScan::stop(const QString &reason)
{
    finish(ScanResult::Cancelled, reason);
}

void BusScan::readReport(const MyFrameDec &frame)
{
    if (!running)
        return;
    const QByteArray payload = frame.data();
    switch (frame.command()) {
    case commandCogivenbrmod:
        if (payload.size() < 2)
            return;
        masterAnswered();
        emit progress(QString::number(byteAt(payload, 0) * 256 + byteAt(payload, 1)) +
                      QStringLiteral(" cards found. Scan continues..."));
        break;
    case commandCosendtask: {
        masterAnswered();
        int report = 0;
        if (payload.isEmpty())
            qCDebug(lcWorkflow) << "Incomplete COSENDTASK frame";
        else
            report = byteAt(payload, 0);
        if (report == reportScanStarted)
            emit progress(QStringLiteral("Bus scanning started. Please wait..."));
        if (report == reportEndOfScan && scanResult.table.daliInterfaces().isEmpty())
            emit progress(QStringLiteral("End of scan. No card found !!"));
        // A task report may carry the module table too.
        readTable(payload);
        if (report == reportEndOfScan)
            finish(ScanResult::Completed);
        break;
    }
    case commandCotranstable:
        readTable(payload);
        break;
    default:
        break;
    }
}

void BusScan::readTable(const QByteArray &payload)
{
    if (!ModuleTable::read(payload, scanResult.table))
        return;
    masterAnswered();
    scanResult.tableRead = true;
    emit tableRead(scanResult.table);
    emit progress(QString::number(scanResult.table.daliInterfaces().size()) +
                  QStringLiteral(" cards found."));
}

void BusScan::masterAnswered()
{
    answered = true;
    watchdog.start();
    probe.start();
}

void BusScan::finish(ScanResult::Outcome outcome, const QString &message)
{
    if (!running)
        return;
    running = false;
    watchdog.stop();
    probe.stop();
    if (listening) {
        listening = false;
        qCDebug(lcWorkflow) << "DISCONNECT ALLFRAME";
        if (manager)
            disconnect(manager, nullptr, this, nullptr);
    }
    scanResult.outcome = outcome;
    scanResult.message = message;
    scanResult.finishedAt = QDateTime::currentDateTime();
    emit finished(scanResult);
}
