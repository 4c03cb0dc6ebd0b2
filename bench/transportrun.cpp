#include "transportrun.h"

#include "busscan.h"
#include "busseen.h"
#include "eventloopwait.h"
#include "mytreatcompc.h"
#include "serialportdescription.h"

#include <QElapsedTimer>

#include <cstdio>

namespace {

// The simulated bus: a DALI interface module (the erase target) and a relay module.
const char *const daliModuleArg = "LUX42:0x12D687:3";
const char *const otherModuleArg = "REL08:66:1";
constexpr quint32 daliModuleId = 0x3F12D687;
constexpr quint32 otherModuleId = 0x05000042;
const char *const daliModuleLabel = "LUX42 s/n:1234567 v3";

} // namespace

TransportRun::TransportRun(const SoakOptions &options, const QString &transport, const QString &logDir,
                           quint32 seed)
    : options(options)
    , transport(transport)
    , sim(options.simulator, transport, logDir)
    , random(seed)
{
    summary.transport = transport;
}

TransportRun::~TransportRun() = default;

bool TransportRun::run(QString &error)
{
    QElapsedTimer clock;
    clock.start();
    if (transport == QLatin1String("pty"))
        setSerialPortLister([this] { return QList<SerialPortDescription>{{"SIMPTY0", sim.ptyPath()}}; });
    if (!startSimulator(error))
        return false;
    manager = std::make_unique<MyTreatComPc>(QString());
    manager->policyDefault.timeout = qMax(1, options.retryMs / 50);
    const int warmUp = qBound(5, options.jobs / 10, 50);
    const auto limitMs = qint64(options.minutes * 60000);
    for (int i = 0; i < options.jobs; ++i) {
        if (limitMs > 0 && clock.elapsed() >= limitMs)
            break;
        if (!refresh(error))
            return false;
        if (i == warmUp) {
            // Measured as at the end: no job object left.
            finishLastJob();
            summary.start = ResourceCount::measure();
        }
        runJob(i);
        if (!failure.isEmpty()) {
            error = failure;
            return false;
        }
    }
    // A late second end of the last job still counts.
    if (!refresh(error))
        return false;
    pollFor(300);
    finishLastJob();
    if (summary.jobs <= warmUp)
        summary.start = ResourceCount::measure();
    summary.end = ResourceCount::measure();
    summary.grew = summary.end.grewFrom(summary.start, options.rssSlackKb);
    manager.reset();
    sim.kill();
    setSerialPortLister({});
    summary.minutes = double(clock.elapsed()) / 60000.0;
    return true;
}

bool TransportRun::startSimulator(QString &error)
{
    const QStringList faults{
        QStringLiteral("--module"),    QLatin1String(daliModuleArg), QStringLiteral("--module"),
        QLatin1String(otherModuleArg), QStringLiteral("--scan-ms"),  QStringLiteral("100"),
        QStringLiteral("--resend-ms"), QStringLiteral("150"),        QStringLiteral("--drop-rx"),
        QStringLiteral("4"),           QStringLiteral("--drop-tx"),  QStringLiteral("4"),
        QStringLiteral("--corrupt"),   QStringLiteral("3"),          QStringLiteral("--nack"),
        QStringLiteral("5"),           QStringLiteral("--delay-ms"), QString::number(random.bounded(0, 40))};
    return sim.start(faults, random.generate(), error);
}

bool TransportRun::refresh(QString &error)
{
    if (!sim.isRunning()) {
        if (!startSimulator(error))
            return false;
        ++summary.restarts;
        if (manager->isConnected()) {
            manager->checkLink();
            pollUntil([this] { return !manager->isConnected(); }, 300);
        }
    }
    for (int attempt = 0; !manager->isConnected(); ++attempt) {
        if (attempt == 20) {
            error = QStringLiteral("%1 could not be opened again").arg(sim.url());
            return false;
        }
        if (attempt > 0)
            pollFor(200);
        manager->open(sim.url());
        sessionInstance = sim.currentInstance();
    }
    return true;
}

void TransportRun::runJob(int number)
{
    auto job = std::make_unique<SoakJob>();
    job->number = number;
    job->erase = random.bounded(2) == 1;
    job->noFault = random.bounded(100) < 10;
    // Now and then the simulator goes: just before the request (the link does not know yet) or
    // while the job runs.
    if (random.bounded(100) < 6)
        job->killAfterMs = random.bounded(3) == 0 ? 0 : int(random.bounded(1, 200));
    const bool faultsSet = sim.setFault(QStringLiteral("no-ack"), job->erase && job->noFault) &&
                           sim.setFault(QStringLiteral("no-end"), !job->erase && job->noFault);
    if (!faultsSet)
        failure = QStringLiteral("job %1: the simulator did not take its faults").arg(number);
    // At an installer's pace the master has settled the previous scan (its last report acknowledged
    // or given up) before the next job goes out.
    if (!options.backToBack && !pollUntil([this] { return sim.busIdle(); }, 10000))
        std::fprintf(stderr, "soak %s: job %d: the master did not settle its last scan\n",
                     qPrintable(transport), number);
    job->logOffset = sim.logSize();
    job->sessionInstance = sessionInstance;
    if (job->killAfterMs == 0)
        sim.kill();
    SoakJob *record = job.get();
    if (job->erase) {
        auto *erase = new DaliErase(manager.get(), daliModuleId, QLatin1String(daliModuleLabel));
        QObject::connect(erase, &BusJob::result, [this, record](BusJob *done) {
            record->eraseOutcome = done->outcome();
            record->message = done->text();
            ended(record);
        });
        job->object = erase;
        erase->start();
    } else {
        auto *scan = new BusScan(manager.get());
        scan->setWatchdogMs(options.watchdogMs);
        QObject::connect(scan, &BusJob::result, [this, record, scan] {
            const ScanResult &result = scan->scanResult();
            record->scan = result;
            record->message = result.message;
            ended(record);
        });
        job->object = scan;
        scan->start();
    }
    if (job->killAfterMs > 0) {
        pollUntil([record] { return record->ends > 0; }, job->killAfterMs);
        sim.kill();
    }
    // Far beyond the longest legitimate job: five sends and the watchdog.
    const int limitMs = 6 * options.retryMs * 5 + 4 * options.watchdogMs + 10000;
    if (!pollUntil([record] { return record->ends > 0; }, limitMs)) {
        ++summary.unended;
        std::fprintf(stderr, "soak %s: job %d (%s) did not end within %d ms\n", qPrintable(transport), number,
                     record->erase ? "erase" : "scan", limitMs);
        record->ends = -1000; // its stop below is not an end of its own
        if (auto *busJob = qobject_cast<BusJob *>(record->object))
            busJob->stop(QStringLiteral("soak: no end"));
    }
    ++summary.jobs;
    finishLastJob();
    last = std::move(job);
}

void TransportRun::ended(SoakJob *job)
{
    ++job->ends;
    if (job->ends != 1)
        return;
    const QList<QJsonObject> records = sim.recordsFrom(job->logOffset);
    const BusSeen bus = BusSeen::read(records, manager->pcMode(), daliModuleId);
    const QString fault = job->judge(bus, sim.wasKilled(job->sessionInstance), daliModuleId, otherModuleId);
    const QString outcome = job->outcomeLabel();
    ++summary.outcomes[outcome];
    if (options.verbose)
        std::fprintf(stderr, "soak %s: job %d %s%s: %s\n", qPrintable(transport), job->number,
                     qPrintable(outcome), job->killAfterMs >= 0 ? " (killed)" : "", qPrintable(job->message));
    if (fault.isEmpty())
        return;
    ++summary.mismatches;
    std::fprintf(stderr, "soak %s: MISMATCH job %d: %s %s (%s)\n  simulator log %s from byte %lld:\n%s\n",
                 qPrintable(transport), job->number, qPrintable(outcome), qPrintable(fault),
                 qPrintable(job->message), qPrintable(sim.currentLogPath()),
                 static_cast<long long>(job->logOffset), sim.wholeLinesFrom(job->logOffset).constData());
}

void TransportRun::finishLastJob()
{
    if (!last)
        return;
    if (last->ends > 1) {
        ++summary.mismatches;
        std::fprintf(stderr, "soak %s: MISMATCH job %d: ended %d times\n", qPrintable(transport),
                     last->number, last->ends);
    }
    delete last->object.data();
    last.reset();
}
