#include "endpointsession.h"

#include "busscan.h"
#include "busyscope.h"
#include "connectdialog.h"
#include "dalierase.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "shownurl.h"
#include "traffictrace.h"

#include <algorithm>
#include <utility>

namespace {

bool listsDali(const ModuleTable &table, quint32 moduleId)
{
    const QList<ModuleTable::Module> dali = table.daliInterfaces();
    return std::any_of(dali.cbegin(), dali.cend(),
                       [moduleId](const ModuleTable::Module &module) { return module.id == moduleId; });
}

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

const QString advice = QStringLiteral("Check the connection, then press Refresh.");

} // namespace

EndpointSession::EndpointSession(const QUrl &url, TrafficTrace *trace, QObject *parent)
    : QObject(parent)
    , endpoint(url.adjusted(QUrl::RemovePassword))
    , trace(trace)
    , ethOpenWaitMs(MyDiFtdi::defaultEthOpenWaitMs)
    , ethLogoutWaitMs(MyDiFtdi::defaultEthLogoutWaitMs)
{}

EndpointSession::~EndpointSession()
{
    close();
}

QString EndpointSession::shownUrl() const
{
    return ::shownUrl(endpoint);
}

bool EndpointSession::isConnected() const
{
    return treatComPc && treatComPc->isConnected();
}

bool EndpointSession::open(QUrl &withPassword, const PasswordQuestion &askPassword)
{
    // The password is asked for, not guessed. The questions come outside the busy waits, which
    // hold back every click and key.
    if (!withPassword.userName().isEmpty() && withPassword.password().isEmpty())
        askPassword(withPassword, false);
    for (;;) {
        {
            const BusyScope busy;
            openOnce(withPassword);
        }
        if (isConnected() || treatComPc->openError() != MyDiFtdi::OpenAuthFailed ||
            !askPassword(withPassword, true))
            return isConnected();
    }
}

void EndpointSession::openOnce(const QUrl &withPassword)
{
    close();
    // Opened once the trace listens, so that it sees the module session open too.
    auto *fresh = new MyTreatComPc(QString());
    fresh->setEthWaits(ethOpenWaitMs, ethLogoutWaitMs);
    trace->setEndpoint(shownUrl());
    connect(fresh, &MyTreatComPc::traffic, trace, &TrafficTrace::record);
    // Fully encoded: the link parses the text strictly, and a decoded password may hold a blank.
    fresh->open(withPassword.toString(QUrl::FullyEncoded));
    treatComPc = fresh;
    connect(fresh, &MyTreatComPc::linkConnectionChanged, this, &EndpointSession::connectionChanged);
}

void EndpointSession::setEthWaits(int openMs, int logoutMs)
{
    ethOpenWaitMs = openMs;
    ethLogoutWaitMs = logoutMs;
    if (treatComPc)
        treatComPc->setEthWaits(openMs, logoutMs);
}

void EndpointSession::close()
{
    stopJob(QStringLiteral("The connection was closed."));
    // Cleared before the delete: an Ethernet close waits with events processed, and a slot reached
    // from there must find no manager rather than the one being destroyed.
    MyTreatComPc *old = std::exchange(treatComPc, nullptr);
    if (!old)
        return;
    disconnect(old, nullptr, nullptr, nullptr);
    delete old;
}

void EndpointSession::choose(quint32 moduleId)
{
    chosen = listsDali(shown, moduleId) ? moduleId : 0;
    noneChosen = chosen == 0;
}

QString EndpointSession::job() const
{
    if (scan)
        return QStringLiteral("a scan of %1").arg(shownUrl());
    if (erase)
        return QStringLiteral("the erase behind %1").arg(shownUrl());
    return QString();
}

bool EndpointSession::startScan()
{
    if (scan || erase || !treatComPc)
        return false;
    // The rows of an earlier scan go; the target stays chosen until the new table shows whether the
    // module is still there.
    shown = ModuleTable();
    emit tableChanged();
    scan = new BusScan(treatComPc, this);
    connect(scan, &BusJob::progress, this, &EndpointSession::status);
    connect(scan, &BusScan::tableRead, this, &EndpointSession::showTable);
    connect(scan, &BusJob::result, this, [this] {
        const ScanResult result = scan->scanResult();
        lastScan = result;
        showTable(result.table);
        endJobs();
        // The job says what happened; the way on is said here. With the link gone Scan is disabled:
        // the way on is Refresh then.
        if (result.outcome == BusJob::Incomplete) {
            emit status(result.message + QStringLiteral(" Scan again."));
        } else if (result.outcome == BusJob::NoAnswer || result.outcome == BusJob::LinkLost) {
            emit status(result.message + QLatin1Char(' ') +
                        (isConnected() ? QStringLiteral("Check the connection, then Scan again.") : advice));
        } else if (result.outcome != BusJob::Completed && result.outcome != BusJob::Cancelled) {
            emit status(result.message);
        }
        emit jobFinished();
    });
    scan->start();
    return true;
}

bool EndpointSession::startErase(quint32 moduleId)
{
    if (scan || erase || !treatComPc || !listsDali(shown, moduleId))
        return false;
    QString label;
    for (const ModuleTable::Module &module : shown.modules) {
        if (module.id == moduleId)
            label = module.label();
    }
    erase = new DaliErase(treatComPc, moduleId, label, this);
    connect(erase, &BusJob::progress, this, &EndpointSession::status);
    connect(erase, &BusJob::result, this, [this] {
        if (erase->outcome() != BusJob::Cancelled)
            emit status(erase->text());
        endJobs();
        emit jobFinished();
    });
    erase->start();
    return true;
}

void EndpointSession::stopJob(const QString &reason)
{
    if (scan)
        scan->stop(reason);
    if (erase)
        erase->stop(reason);
}

void EndpointSession::endJobs()
{
    if (scan)
        scan->deleteLater();
    if (erase)
        erase->deleteLater();
    scan.clear();
    erase.clear();
}

// A rescan keeps the chosen target while the bus still lists it; a target that went away leaves
// none rather than another module.
void EndpointSession::showTable(const ModuleTable &table)
{
    shown = table;
    const QList<ModuleTable::Module> dali = table.daliInterfaces();
    if (chosen != 0 && !listsDali(table, chosen)) {
        chosen = 0;
        noneChosen = true;
    } else if (chosen == 0 && !noneChosen && !dali.isEmpty()) {
        chosen = dali.first().id; // the first one listed, until the user chooses
    }
    emit tableChanged();
}

QString EndpointSession::heading() const
{
    if (scan)
        return QStringLiteral("Scanning the bus behind %1...").arg(shownUrl());
    if (!hasScan())
        return isConnected() ? QStringLiteral("Modules on the bus: press Scan to list them.")
                             : QStringLiteral("Modules on the bus: listed here once the bus is connected "
                                              "and scanned.");
    const int count = int(lastScan.table.modules.size());
    const int dali = int(lastScan.table.daliInterfaces().size());
    if (lastScan.completed())
        return moduleCount(count, dali) +
               QStringLiteral(" (behind %1, scanned at %2).")
                   .arg(lastScan.endpoint, lastScan.finishedAt.toString(QStringLiteral("HH:mm:ss"))) +
               (dali ? QStringLiteral(" Erase can target those in bold.") : QString());
    if (lastScan.tableRead)
        return QStringLiteral("Scan not finished: only the %1 modules reported before it stopped.")
            .arg(count);
    return QStringLiteral("Scan not finished: no module table was reported.");
}

QString EndpointSession::connectionLine() const
{
    if (isConnected())
        return QStringLiteral("Connected to ") + shownUrl();
    QString reason = treatComPc ? treatComPc->openFailureReason() : QString();
    if (treatComPc && treatComPc->openError() == MyDiFtdi::OpenNoBaudRate)
        reason = QStringLiteral("the baud rate is missing (add ?baud=%1, or use Connection > Connect to...)")
                     .arg(ConnectDialog::defaultBaud);
    return QStringLiteral("Not connected to ") + shownUrl() +
           (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason) + QStringLiteral(". ") + advice;
}
