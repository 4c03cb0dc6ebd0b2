#include "headlessrun.h"

#include "busscan.h"
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

} // namespace

HeadlessRun::HeadlessRun(const ToolboxOptions &options, TrafficTrace *trace)
    : options(options)
    , trace(trace)
{
    trace->setParent(this);
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] {
        const QString reason =
            QStringLiteral("Time limit of %1 s reached.").arg(this->options.timeoutSeconds);
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
    // Opened once the trace listens, so that it sees the module session open too.
    manager = std::make_unique<MyTreatComPc>(QString());
    trace->setEndpoint(shownUrl(options.jobUrl));
    connect(manager.get(), &MyTreatComPc::traffic, trace, &TrafficTrace::record);
    manager->open(options.jobUrl.toString(QUrl::FullyEncoded));
    scan = new BusScan(manager.get(), this);
    connect(scan, &BusScan::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(scan, &BusScan::finished, this, &HeadlessRun::scanFinished);
    if (manager->isConnected()) {
        // The limit bounds the whole run: the open before the job and the module's logout after it.
        const QString scheme = options.jobUrl.scheme();
        const int logout = scheme == QLatin1String("udp") || scheme == QLatin1String("tcp")
                               ? MyDiFtdi::defaultEthLogoutWaitMs
                               : 0;
        limit.start(int(qMax<qint64>(0, qint64(options.timeoutSeconds) * 1000 - run.elapsed() - logout)));
        scan->start();
    } else {
        ScanResult result;
        result.outcome = ScanResult::NotConnected;
        result.endpoint = shownUrl(options.jobUrl);
        result.finishedAt = QDateTime::currentDateTime();
        result.message = QStringLiteral("Not connected to %1: %2.").arg(result.endpoint, manager->openFailureReason());
        scanFinished(result);
    }
    // A request that cannot be written ends the job inside start().
    if (!ended)
        loop.exec();
    // The Ethernet logout waits 1.5 s: the result is out before it.
    manager.reset();
    return status;
}

void HeadlessRun::scanFinished(const ScanResult &result)
{
    document = result.toJson();
    // The module table the master reported is what the bus said, also when the end-of-scan report
    // never came: the window lists it and erases from it, and so does this run. A scan stopped by the
    // time limit or a lost link ends the run.
    if (options.mode == ToolboxOptions::Erase &&
        (result.completed() || (result.tableRead && result.outcome == ScanResult::Incomplete))) {
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
        finish(Failed, result.message);
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
    connect(erase, &DaliErase::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(erase, &DaliErase::finished, this, &HeadlessRun::eraseFinished);
    erase->start();
}

void HeadlessRun::eraseFinished(DaliErase::Outcome outcome, const QString &message)
{
    QJsonObject report = document.value(QStringLiteral("erase")).toObject();
    report.insert(QStringLiteral("outcome"), DaliErase::outcomeName(outcome));
    report.insert(QStringLiteral("message"), message);
    document.insert(QStringLiteral("erase"), report);
    if (outcome != DaliErase::Accepted) {
        finish(Failed, message);
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
