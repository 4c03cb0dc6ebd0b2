#include "simbus.h"

#include "buscodes.h"
#include "framelog.h"

namespace {

QByteArray withBrokenChecksum(const MyFrameDec &frame)
{
    QByteArray raw = frame.rawFrame();
    if (!raw.isEmpty())
        raw[raw.size() - 1] = char(uchar(raw.at(raw.size() - 1)) + 1);
    return '\x02' + raw.toHex().toUpper() + '\x03';
}

} // namespace

SimBus::SimBus(const QList<SimModule> &modules, const SimFaults &faults, FrameLog *log, QObject *parent)
    : QObject(parent)
    , modules(modules)
    , faults(faults)
    , log(log)
{
    paceTimer.setSingleShot(true);
    ackTimer.setSingleShot(true);
    connect(&paceTimer, &QTimer::timeout, this, &SimBus::sendCurrentReport);
    connect(&ackTimer, &QTimer::timeout, this, &SimBus::onAckTimeout);
}

void SimBus::setResend(int intervalMs, int maxResends)
{
    resendMs = qMax(1, intervalMs);
    this->maxResends = qMax(0, maxResends);
}

QByteArray SimBus::moduleTablePayload(const QList<SimModule> &modules)
{
    const int length = int(modules.size()) * 8;
    QByteArray payload;
    payload.append(char(0x00)).append(char(moduleTableMarker)).append(char(0x00)).append(char(0x00));
    payload.append(char(length >> 8)).append(char(length & 0xFF));
    for (const SimModule &module : modules) {
        const quint32 id = module.moduleId();
        payload.append(char(id >> 24)).append(char(id >> 16)).append(char(id >> 8)).append(char(id));
        payload.append(char(0x00)).append(char(0x00)).append(char(module.version)).append(char(0x00));
    }
    return payload;
}

void SimBus::receiveText(const QByteArray &wire)
{
    const MyFrameDec frame(wire, false);
    const bool decoded = !frame.text().isEmpty();
    if (faults.dropRx()) {
        if (log)
            decoded ? log->frame(FrameLog::FromPc, frame, wire, QStringLiteral("dropped"))
                    : log->undecodable(FrameLog::FromPc, wire, QStringLiteral("dropped"));
        return;
    }
    if (!frame.isValid()) {
        if (log)
            log->rejected(FrameLog::FromPc, wire, QStringLiteral(": ignored"));
        return;
    }
    if (log)
        log->frame(FrameLog::FromPc, frame, wire);
    dispatch(frame);
}

void SimBus::dispatch(const MyFrameDec &frame)
{
    if (frame.command() == commandCoackn) {
        handlePcAck(frame);
        return;
    }
    if (frame.command() == commandConack) {
        if (log)
            log->event(QStringLiteral("  CONACK from the PC: the report goes again at its resend time"));
        return;
    }
    if (frame.rxMode() == modeMaster) {
        handleMasterFrame(frame);
        return;
    }
    if (frame.rxMode() == modeAddressed) {
        if (const SimModule *module = moduleAt(frame)) {
            handleModuleFrame(frame, *module);
            return;
        }
        if (log)
            log->event(QStringLiteral("  no module at that address: nobody acknowledges"));
        return;
    }
    if (log)
        log->event(QStringLiteral("  receiver mode %1 is not on the bus: ignored").arg(frame.rxMode()));
}

void SimBus::handleMasterFrame(const MyFrameDec &frame)
{
    acknowledge(frame);
    if (frame.command() != commandCoscan) {
        if (log)
            log->event(QStringLiteral("  the bus master ignores %1").arg(frame.commandName()));
        return;
    }
    // The PC resends its request when the ack got lost; a scan under way just goes on.
    if (scanning) {
        if (log)
            log->event(QStringLiteral("  scan already running: not restarted"));
        return;
    }
    startScan(frame.txMode());
}

void SimBus::handleModuleFrame(const MyFrameDec &frame, const SimModule &module)
{
    if (frame.command() == commandCosetdata && module.isDaliInterface() &&
        frame.data().startsWith(eraseShortAddressesData())) {
        if (log)
            log->event(QStringLiteral("  DALI line of %1 erased: short addresses and groups cleared")
                           .arg(module.label()));
        emit daliLineErased(module.moduleId());
    } else if (log) {
        log->event(QStringLiteral("  %1 ignores %2").arg(module.label(), frame.commandName()));
    }
    acknowledge(frame);
}

void SimBus::handlePcAck(const MyFrameDec &frame)
{
    // The PC's ack goes from its own mode back to the report's sender: the master's mode, and its
    // address when it reports from one. It names no report, so such an ack settles the one report
    // awaiting it; an ack to anyone else does not.
    const bool toMaster = masterAddressed
                              ? frame.rxMode() == modeAddressed && frame.addrSize() == addrSize32 &&
                                    frame.rxAddr() == masterAddress
                              : frame.rxMode() == modeMaster;
    const bool settlesReport = awaitingAck && frame.txMode() == scanPcMode && toMaster;
    if (!settlesReport) {
        if (log)
            log->event(QStringLiteral("  COACKN with no report awaiting it: ignored"));
        return;
    }
    ackTimer.stop();
    awaitingAck = false;
    nextReport();
}

const SimModule *SimBus::moduleAt(const MyFrameDec &frame) const
{
    if (frame.addrSize() != addrSize32)
        return nullptr;
    for (const SimModule &module : modules) {
        if (module.moduleId() == frame.rxAddr())
            return &module;
    }
    return nullptr;
}

void SimBus::acknowledge(const MyFrameDec &request)
{
    if (request.ackRequest() != ackRequested || request.frameType() != 1)
        return;
    if (faults.noAck) {
        if (log)
            log->event(QStringLiteral("  acknowledgement withheld (--no-ack)"));
        return;
    }
    // Back from the request's receiver to its sender, with the same address size. A busy receiver
    // answers CONACK: the PC keeps waiting and sends the request again.
    const bool busy = faults.nack();
    MyFrameDec ack;
    ack.setFrame(frameTypeRequest, 0, request.addrSize(), frameClassAck, request.rxMode(), request.txMode(),
                 request.rxAddr(), request.txAddr(), busy ? commandConack : commandCoackn, QByteArray());
    send(ack, busy ? QStringLiteral("busy (--nack)") : QString());
}

void SimBus::send(const MyFrameDec &frame, const QString &note)
{
    if (faults.dropTx()) {
        if (log)
            log->frame(FrameLog::ToPc, frame, frame.text(),
                       note.isEmpty() ? QStringLiteral("dropped") : note + QStringLiteral(", dropped"));
        return;
    }
    QByteArray wire = frame.text();
    QString finalNote = note;
    if (faults.corrupt()) {
        wire = withBrokenChecksum(frame);
        finalNote += finalNote.isEmpty() ? QStringLiteral("checksum corrupted")
                                         : QStringLiteral(", checksum corrupted");
    }
    if (faults.delayMs > 0) {
        QTimer::singleShot(faults.delayMs, this,
                           [this, frame, wire, finalNote] { emitWire(frame, wire, finalNote); });
        return;
    }
    emitWire(frame, wire, finalNote);
}

void SimBus::emitWire(const MyFrameDec &frame, const QByteArray &wire, const QString &note)
{
    if (log)
        log->frame(FrameLog::ToPc, frame, wire, note);
    emit frameOut(wire);
}

MyFrameDec SimBus::report(int command, const QByteArray &payload) const
{
    MyFrameDec frame;
    frame.setFrame(frameTypeRequest, ackRequested, addrSize32, frameClassRequest,
                   masterAddressed ? modeAddressed : modeMaster, scanPcMode, masterAddress, 0, command,
                   payload);
    return frame;
}

void SimBus::startScan(int pcMode)
{
    scanning = true;
    scanPcMode = pcMode;
    const int count = int(modules.size());
    if (unusableReports) {
        QByteArray foreignTable = moduleTablePayload(modules);
        foreignTable[1] = char(moduleTableMarker + 1);
        reports = {report(commandCogivenbrmod, QByteArray(1, char(count & 0xFF))),
                   report(commandCotranstable, foreignTable)};
    } else {
        reports = {
            report(commandCosendtask, QByteArray(1, char(reportScanStarted))),
            report(commandCogivenbrmod, QByteArray().append(char(count >> 8)).append(char(count & 0xFF))),
            report(commandCotranstable, moduleTablePayload(modules))};
        if (!faults.noEnd)
            reports.append(report(commandCosendtask, QByteArray(1, char(reportEndOfScan))));
    }
    reportIndex = 0;
    if (log)
        log->event(QStringLiteral("  scan started: %1 module(s), reports to mode %2 over %3 ms")
                       .arg(count)
                       .arg(pcMode)
                       .arg(scanMs));
    scanClock.start();
    // Queued, so that the ack of the request leaves first.
    paceTimer.start(0);
}

void SimBus::sendCurrentReport()
{
    resends = 0;
    awaitingAck = true;
    send(reports.at(reportIndex), QStringLiteral("report %1/%2").arg(reportIndex + 1).arg(reports.size()));
    ackTimer.start(resendMs + faults.delayMs);
}

void SimBus::onAckTimeout()
{
    const MyFrameDec &current = reports.at(reportIndex);
    if (resends < maxResends) {
        ++resends;
        send(current, QStringLiteral("resend %1/%2").arg(resends).arg(maxResends));
        ackTimer.start(resendMs + faults.delayMs);
        return;
    }
    if (log)
        log->event(QStringLiteral("  %1 not acknowledged: given up").arg(current.commandName()));
    awaitingAck = false;
    nextReport();
}

void SimBus::nextReport()
{
    ++reportIndex;
    if (reportIndex >= reports.size()) {
        scanning = false;
        if (log)
            log->event(QStringLiteral("  scan finished"));
        emit scanFinished();
        return;
    }
    const qint64 due = qint64(scanMs) * reportIndex / (reports.size() - 1);
    paceTimer.start(int(qMax<qint64>(0, due - scanClock.elapsed())));
}
