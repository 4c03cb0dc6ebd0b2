#include "headlessrun.h"

#include "busscan.h"
#include "connectdialog.h"
#include "endpoint.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "shownurl.h"
#include "traffictrace.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

// What a person at the command line can do about a job that did not end well.
QString withAdvice(BusJob::Outcome outcome, const QString &text)
{
    switch (outcome) {
    case BusJob::NoAnswer:
    case BusJob::LinkLost:
        return text + QStringLiteral(" Check the connection, then run the command again.");
    case BusJob::Incomplete:
        return text + QStringLiteral(" Run the command again.");
    default:
        return text;
    }
}

// Why the open failed, in the words of the command line: the link's own few words, except where the
// person typing the command can be told what to add.
QString openFailure(const MyTreatComPc &manager)
{
    if (manager.openError() == MyDiFtdi::OpenNoBaudRate)
        return QStringLiteral("the baud rate is missing (add ?baud=%1)").arg(ConnectDialog::defaultBaud);
    return manager.openFailureReason();
}

// Waits that the test suites shorten, in ms; never documented, read by the command line only.
int testWait(const char *name, int fallback)
{
    bool ok = false;
    const int ms = qEnvironmentVariableIntValue(name, &ok);
    return ok && ms > 0 ? ms : fallback;
}

} // namespace

HeadlessRun::HeadlessRun(const ToolboxOptions &options, TrafficTrace *trace)
    : options(options)
    , trace(trace)
{
    trace->setParent(this);
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] {
        const QString reason = limitReached();
        if (scan)
            scan->stop(reason);
        if (erase)
            erase->stop(reason);
    });
}

HeadlessRun::~HeadlessRun() = default;

int HeadlessRun::exec()
{
    QElapsedTimer run;
    run.start();
    const qint64 budgetMs = qint64(options.timeoutSeconds) * 1000;
    // The limit bounds the whole run: the open before the job, the job, and the module's logout after it.
    const int logoutMs = testWait("TELVORAN_TEST_LOGOUT_MS", MyDiFtdi::defaultEthLogoutWaitMs);
    const int openMs = int(qMin<qint64>(MyDiFtdi::defaultEthOpenWaitMs, budgetMs));
    // Opened once the trace listens, so that it sees the module session open too.
    manager = std::make_unique<MyTreatComPc>(QString());
    manager->setEthWaits(openMs, logoutMs);
    trace->setEndpoint(shownUrl(options.jobUrl));
    connect(manager.get(), &MyTreatComPc::traffic, trace, &TrafficTrace::record);
    manager->open(options.jobUrl.toString(QUrl::FullyEncoded));
    scan = new BusScan(manager.get(), this);
    scan->setWatchdogMs(testWait("TELVORAN_TEST_WATCHDOG_MS", BusScan::defaultWatchdogMs));
    connect(scan, &BusJob::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(scan, &BusJob::result, this, [this] { scanFinished(scan->scanResult()); });
    ScanResult unsent;
    unsent.endpoint = shownUrl(options.jobUrl);
    unsent.finishedAt = QDateTime::currentDateTime();
    const bool session = Endpoint(options.jobUrl).isEthernet();
    const qint64 left = budgetMs - run.elapsed() - (session ? logoutMs : 0);
    // An open that used up the limit failed for want of time. No request goes out that the run could
    // not wait for: the master would scan for a session that is gone.
    const bool spent = manager->isConnected() ? left <= 0 : run.elapsed() >= budgetMs;
    if (spent) {
        unsent.outcome = BusJob::Cancelled;
        unsent.message = limitReached();
        scanFinished(unsent);
    } else if (!manager->isConnected()) {
        unsent.outcome = BusJob::NotConnected;
        unsent.message =
            QStringLiteral("Not connected to %1: %2.").arg(unsent.endpoint, openFailure(*manager));
        scanFinished(unsent);
    } else {
        limit.start(int(left));
        scan->start();
    }
    // A request that cannot be written ends the job inside start().
    if (!ended)
        loop.exec();
    // The Ethernet logout waits 1.5 s, within what is left of the limit: the result is out before it.
    manager->setEthWaits(openMs, int(qBound(qint64(0), budgetMs - run.elapsed(), qint64(logoutMs))));
    manager.reset();
    return status;
}

QString HeadlessRun::limitReached() const
{
    return QStringLiteral("Time limit of %1 s reached.").arg(options.timeoutSeconds);
}

void HeadlessRun::scanFinished(const ScanResult &result)
{
    document = result.toJson();
    // The module table the master reported is what the bus said, also when the end-of-scan report
    // never came: the window lists it and erases from it, and so does this run. A scan stopped by the
    // time limit or a lost link ends the run.
    if (options.mode == ToolboxOptions::Erase &&
        (result.completed() || (result.tableRead && result.outcome == BusJob::Incomplete))) {
        if (!result.completed())
            printLine(stderr, result.message);
        eraseModule(result);
        return;
    }
    if (!options.json && options.mode == ToolboxOptions::Scan) {
        for (const ModuleTable::Module &module : result.table.modules)
            printLine(stdout, module.label());
    }
    // The exit status still says whether the scan finished.
    if (result.completed())
        finish(Done);
    else
        finish(Failed, withAdvice(result.outcome, result.message));
}

void HeadlessRun::eraseModule(const ScanResult &result)
{
    const QList<ModuleTable::Module> dali = result.table.daliInterfaces();
    const auto target = std::find_if(dali.cbegin(), dali.cend(), [this](const ModuleTable::Module &module) {
        return module.serial() == options.moduleSerial;
    });
    QJsonObject report{{QStringLiteral("serial"), qint64(options.moduleSerial)}};
    if (target == dali.cend()) {
        report.insert(QStringLiteral("outcome"), QStringLiteral("not-found"));
        document.insert(QStringLiteral("erase"), report);
        finish(Failed,
               QStringLiteral("No DALI interface module with s/n:%1 on the bus.").arg(options.moduleSerial));
        return;
    }
    report.insert(QStringLiteral("target"), target->label());
    if (!options.confirmed) {
        report.insert(QStringLiteral("outcome"), QStringLiteral("not-confirmed"));
        document.insert(QStringLiteral("erase"), report);
        if (!options.json)
            printLine(stdout, QStringLiteral("Would erase the short addresses and groups of every DALI slave "
                                             "behind ") +
                                  target->label() + QLatin1Char('.'));
        finish(NotConfirmed, QStringLiteral("Nothing erased: add --yes to erase."));
        return;
    }
    document.insert(QStringLiteral("erase"), report);
    erase = new DaliErase(manager.get(), target->id, target->label(), this);
    connect(erase, &BusJob::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(erase, &BusJob::result, this, &HeadlessRun::eraseFinished);
    erase->start();
}

void HeadlessRun::eraseFinished()
{
    const QString message = erase->text();
    QJsonObject report = document.value(QStringLiteral("erase")).toObject();
    report.insert(QStringLiteral("outcome"), BusJob::outcomeName(erase->outcome()));
    report.insert(QStringLiteral("message"), message);
    document.insert(QStringLiteral("erase"), report);
    if (!erase->succeeded()) {
        finish(Failed, withAdvice(erase->outcome(), message));
        return;
    }
    if (!options.json)
        printLine(stdout, message);
    finish(Done);
}

void HeadlessRun::finish(int exitStatus, const QString &reason)
{
    if (ended)
        return;
    ended = true;
    status = exitStatus;
    limit.stop();
    if (options.json)
        printLine(stdout,
                  QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
    if (!reason.isEmpty())
        printLine(stderr, reason);
    loop.quit();
}
