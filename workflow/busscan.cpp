#include "busscan.h"

#include "buscodes.h"
#include "busrequest.h"
#include "mytreatcompc.h"
#include "workflowlog.h"

namespace {

int byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

BusScan::BusScan(MyTreatComPc *manager, QObject *parent)
    : BusJob(manager, parent)
{
    if (manager)
        current.endpoint = manager->urlString();
    watchdog.setSingleShot(true);
    setWatchdogMs(defaultWatchdogMs);
    connect(&probe, &QTimer::timeout, this, [this] {
        // The session's HELLO over Ethernet: a datagram the module accepts at any time, and whose
        // refusal ends the link of a module that went away.
        if (this->manager())
            this->manager()->checkLink();
    });
    connect(&watchdog, &QTimer::timeout, this, [this] {
        emitResult(Incomplete, QStringLiteral("Scan incomplete: no report from the bus master for %1 s.")
                                   .arg(watchdog.interval() / 1000.0));
    });
}

QString BusScan::startLine() const
{
    return QStringLiteral("KVMX will start bus scanning. Please wait...");
}

MyFrameDec BusScan::request() const
{
    return busRequest(*manager(), modeMaster, 0, commandCoscan);
}

void BusScan::listen()
{
    listening = true;
    probe.start();
    // The master's reports are heard on allNewFrame: while the request waits for its COACKN they do
    // not pass the manager's answer test.
    qCDebug(lcWorkflow) << "CONNECT ALLFRAME";
    connect(manager(), &MyTreatComPc::allNewFrame, this, &BusScan::readReport);
    connect(manager(), &MyTreatComPc::newFrameReceived, this, [this](const MyFrameDec &frame) {
        if (frame.command() == commandCoackn)
            masterAnswered();
    });
}

void BusScan::requestDropped()
{
    // Once the master has answered, the watchdog judges the scan.
    if (!answered)
        emitResult(NoAnswer, QStringLiteral("No answer from the bus master."));
}

QString BusScan::linkLostText() const
{
    return QStringLiteral("Not connected to ") + manager()->urlString() +
           QStringLiteral(": the link was lost before the end of the scan.");
}

void BusScan::readReport(const MyFrameDec &frame)
{
    if (!isRunning())
        return;
    const QByteArray payload = frame.data();
    switch (frame.command()) {
    case commandCogivenbrmod:
        if (payload.size() < 2)
            return;
        scanProgressed();
        emit progress(QString::number(byteAt(payload, 0) * 256 + byteAt(payload, 1)) +
                      QStringLiteral(" cards found. Scan continues..."));
        break;
    case commandCosendtask: {
        int report = 0;
        if (payload.isEmpty())
            qCDebug(lcWorkflow) << "Incomplete COSENDTASK frame";
        else
            report = byteAt(payload, 0);
        // Frames carry no sequence number: an end report before any other report of this scan is
        // taken for the last one of an earlier scan, which the master sends again when our
        // acknowledgement of it was lost. The manager has acknowledged it; nothing else changes.
        if (report == reportEndOfScan && !progressed) {
            qCDebug(lcWorkflow) << "End of an earlier scan ignored";
            return;
        }
        if (report == reportScanStarted) {
            scanProgressed();
            emit progress(QStringLiteral("Bus scanning started. Please wait..."));
        }
        if (report == reportEndOfScan && current.table.daliInterfaces().isEmpty())
            emit progress(QStringLiteral("End of scan. No card found !!"));
        // A task report may carry the module table too.
        readTable(payload);
        if (report == reportEndOfScan)
            emitResult(Completed, QString());
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
    if (!ModuleTable::read(payload, current.table))
        return;
    scanProgressed();
    current.tableRead = true;
    emit tableRead(current.table);
    emit progress(QString::number(current.table.daliInterfaces().size()) + QStringLiteral(" cards found."));
}

void BusScan::masterAnswered()
{
    answered = true;
    watchdog.start();
    probe.start();
}

// A report of this scan shows that the master got the request, from whatever address it reports:
// the request is not sent again (a resend would start the scan over).
void BusScan::scanProgressed()
{
    if (!progressed && manager())
        manager()->stopRetry();
    progressed = true;
    masterAnswered();
}

void BusScan::ending(Outcome outcome, const QString &text)
{
    watchdog.stop();
    probe.stop();
    if (listening)
        qCDebug(lcWorkflow) << "DISCONNECT ALLFRAME";
    listening = false;
    current.outcome = outcome;
    current.message = text;
    current.finishedAt = QDateTime::currentDateTime();
}
