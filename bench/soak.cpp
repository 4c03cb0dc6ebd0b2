// Soak run: the scan and erase jobs of the window, headless, on one long-lived communication manager
// against the bus simulator (UDP, TCP, then a pseudo-terminal), under a mix of line faults, with the
// simulator killed and started again now and then. Every job's outcome is checked against the
// simulator's frame log (what really crossed the bus during the job), every job must end exactly
// once, and the process's memory, descriptors, objects and timers must be as many at the end as
// after the warm-up. One table at the end; exit status 1 on a mismatch, an unended job or growth.

#include "buscodes.h"
#include "busscan.h"
#include "dalierase.h"
#include "myframedec.h"
#include "mytreatcompc.h"
#include "serialportdescription.h"

#include <QAbstractEventDispatcher>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QPointer>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <type_traits>
#include <unistd.h>
#include <unordered_set>

// Qt's hook table for object tracking tools: a function called for every QObject built and destroyed.
extern quintptr Q_CORE_EXPORT qtHookData[];

namespace {

constexpr int hookAddQObject = 3;
constexpr int hookRemoveQObject = 4;

// The simulated bus: a DALI interface module (the erase target) and a relay module.
const char *const daliModuleArg = "LUX42:0x12D687:3";
const char *const otherModuleArg = "REL08:66:1";
constexpr quint32 daliModuleId = 0x3F12D687;
constexpr quint32 otherModuleId = 0x05000042;
const char *const daliModuleLabel = "LUX42 s/n:1234567 v3";

// In their default order; a transport's place here offsets the seed of its mix.
const QStringList allTransports{QStringLiteral("udp"), QStringLiteral("tcp"), QStringLiteral("pty")};

// ---- resources -------------------------------------------------------------------------------

std::mutex objectsMutex;
std::unordered_set<QObject *> *liveObjects = nullptr;

void objectAdded(QObject *object)
{
    const std::lock_guard<std::mutex> lock(objectsMutex);
    liveObjects->insert(object);
}

void objectRemoved(QObject *object)
{
    const std::lock_guard<std::mutex> lock(objectsMutex);
    liveObjects->erase(object);
}

void trackObjects()
{
    liveObjects = new std::unordered_set<QObject *>;
    qtHookData[hookAddQObject] = reinterpret_cast<quintptr>(&objectAdded);
    qtHookData[hookRemoveQObject] = reinterpret_cast<quintptr>(&objectRemoved);
}

struct Resources
{
    long rssKb = 0;
    int fds = 0;
    int objects = 0;
    int timers = 0; // timers running on this thread
};

long residentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

int openDescriptors()
{
    DIR *dir = ::opendir("/proc/self/fd");
    if (!dir)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(dir);
    return count - 1; // the listing's own
}

Resources measure()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Resources now;
    now.rssKb = residentKb();
    now.fds = openDescriptors();
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    const std::lock_guard<std::mutex> lock(objectsMutex);
    now.objects = int(liveObjects->size());
    for (QObject *object : *liveObjects) {
        if (dispatcher && object->thread() == QThread::currentThread())
            now.timers += int(dispatcher->registeredTimers(object).size());
    }
    return now;
}

// ---- interruption ------------------------------------------------------------------------------

// The simulator running now: an interrupted soak takes it along instead of leaving it behind.
volatile sig_atomic_t runningSimulator = 0;

void onTermination(int signalNumber)
{
    if (runningSimulator > 0)
        ::kill(pid_t(runningSimulator), SIGKILL);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

// ---- waiting ---------------------------------------------------------------------------------

// Turns the event loop until done() or the time is up; the thread sleeps in between.
bool waitUntil(const std::function<bool()> &done, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QEventLoop loop;
        QTimer tick;
        tick.setSingleShot(true);
        QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        tick.start(5);
        loop.exec();
    }
    return true;
}

void pump(int ms)
{
    waitUntil([] { return false; }, ms);
}

// ---- the simulator ---------------------------------------------------------------------------

// One simulator process after another, on the same endpoint; its frame log goes to a file of its own,
// read back by offset.
class Simulator
{
public:
    Simulator(const QString &program, const QString &transport, const QString &logDir)
        : program(program)
        , transport(transport)
        , logDir(logDir)
    {}
    ~Simulator() { kill(); }

    bool start(const QStringList &faultArgs, quint32 seed, QString &error)
    {
        QStringList args;
        if (transport == QLatin1String("pty"))
            args << QStringLiteral("--pty");
        else
            args << QLatin1String("--") + transport << QStringLiteral("127.0.0.1:%1").arg(port);
        args << QStringLiteral("--module") << daliModuleArg << QStringLiteral("--module") << otherModuleArg
             << faultArgs << QStringLiteral("--seed") << QString::number(seed & 0x7FFFFFFF)
             << QStringLiteral("--faults-from-stdin");
        for (int attempt = 0; attempt < 20; ++attempt) {
            ++instance;
            logPath = QStringLiteral("%1/%2-%3.log").arg(logDir, transport).arg(instance);
            process = std::make_unique<QProcess>();
            process->setStandardOutputFile(logPath, QIODevice::Truncate);
            process->setStandardErrorFile(QProcess::nullDevice());
            process->start(program, args);
            if (!process->waitForStarted(5000)) {
                error = QStringLiteral("cannot start %1: %2").arg(program, process->errorString());
                return false;
            }
            if (waitUntil(
                    [this] { return logFrom(0).contains('\n') || process->state() != QProcess::Running; },
                    5000) &&
                process->state() == QProcess::Running) {
                runningSimulator = sig_atomic_t(process->processId());
                const QByteArray first = logFrom(0).split('\n').value(0).trimmed();
                where = QString::fromUtf8(first.mid(first.indexOf(' ') + 1));
                if (port == 0 && transport != QLatin1String("pty"))
                    port = quint16(where.section(QLatin1Char(':'), -1).toUInt());
                faultsOn.clear();
                scanning = false;
                followedTo = 0;
                return true;
            }
            // A port still held by the previous instance: try again shortly.
            process->kill();
            process->waitForFinished(2000);
            pump(200);
        }
        error = QStringLiteral("the simulator did not start: %1").arg(QString::fromUtf8(logFrom(0)));
        return false;
    }

    void kill()
    {
        if (!process || process->state() == QProcess::NotRunning)
            return;
        process->kill();
        process->waitForFinished(5000);
        runningSimulator = 0;
        killedInstances.insert(instance);
    }

    bool isRunning() const { return process && process->state() == QProcess::Running; }
    int currentInstance() const { return instance; }
    bool wasKilled(int which) const { return killedInstances.count(which) > 0; }
    // The endpoint the toolbox opens: the same across restarts.
    QString url() const
    {
        if (transport == QLatin1String("pty"))
            return QStringLiteral("serial://simpty0?baud=38400");
        return QStringLiteral("%1://127.0.0.1:%2").arg(transport).arg(port);
    }
    QString ptyPath() const { return where; }

    qint64 logSize() const
    {
        QFile file(logPath);
        return file.open(QIODevice::ReadOnly) ? file.size() : 0;
    }
    QByteArray logFrom(qint64 offset) const
    {
        QFile file(logPath);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
            return QByteArray();
        return file.readAll();
    }
    QString currentLogPath() const { return logPath; }
    // No scan of the master under way: its last report was acknowledged or given up.
    bool busIdle()
    {
        const QByteArray log = logFrom(followedTo);
        const int end = log.lastIndexOf('\n') + 1;
        for (const QByteArray &line : log.left(end).split('\n')) {
            if (line.contains("]   scan started:"))
                scanning = true;
            else if (line.contains("]   scan finished"))
                scanning = false;
        }
        followedTo += end;
        return !scanning;
    }

    // Sets one fault from now on, and waits until the simulator says it holds.
    bool setFault(const QByteArray &name, bool on)
    {
        bool &current = faultsOn[name];
        if (current == on)
            return true;
        const QByteArray line = name + (on ? " 1" : " 0");
        const qint64 from = logSize();
        process->write(line + '\n');
        process->waitForBytesWritten(2000);
        const bool held = waitUntil([&] { return logFrom(from).contains("faults: " + line + '\n'); }, 5000);
        if (held)
            current = on;
        return held;
    }

private:
    QString program;
    QString transport;
    QString logDir;
    QString logPath;
    QString where;
    quint16 port = 0;
    int instance = 0;
    qint64 followedTo = 0; // how far busIdle() has read the log
    bool scanning = false;
    std::map<QByteArray, bool> faultsOn; // as set from standard input; none at start
    std::unordered_set<int> killedInstances;
    std::unique_ptr<QProcess> process;
};

// ---- what the bus did ------------------------------------------------------------------------

// The frames the simulator delivered to the PC in a stretch of its log: not dropped, checksum intact,
// a session to take them.
struct BusSeen
{
    bool masterAnswered = false; // the master's COACKN or any of its reports
    bool endReport = false;
    bool table = false;
    bool moduleAck = false; // COACKN of the DALI interface module
    int delivered = 0;
};

BusSeen readBus(const QByteArray &log, int pcMode)
{
    BusSeen seen;
    QList<MyFrameDec> frames;
    QList<QByteArray> wires;
    // An end report resent from an earlier scan (back to back) is not this job's.
    qsizetype scanFrom = -1;
    for (const QByteArray &line : log.split('\n')) {
        if (line.contains("]   scan started:"))
            scanFrom = frames.size();
        const int stx = line.indexOf("<02>");
        const int etx = line.indexOf("<03>", stx);
        if (stx < 0 || etx < 0)
            continue;
        const QByteArray wire = line.mid(stx, etx + 4 - stx);
        if (line.contains("no session open:")) {
            if (!wires.isEmpty() && wires.constLast() == wire) {
                wires.removeLast();
                frames.removeLast();
            }
            continue;
        }
        if (!line.contains("] BUS->PC "))
            continue;
        const int note = line.indexOf(" (", etx);
        if (note >= 0 && line.indexOf("dropped", note) >= 0)
            continue;
        const QByteArray hex = wire.mid(4, wire.size() - 8);
        const MyFrameDec frame(QByteArray("\x02") + hex + QByteArray("\x03"), false);
        if (!frame.isValid() || frame.rxMode() != pcMode)
            continue;
        frames.append(frame);
        wires.append(wire);
    }
    for (const MyFrameDec &frame : qAsConst(frames)) {
        const bool ofThisScan = scanFrom >= 0 && seen.delivered >= scanFrom;
        ++seen.delivered;
        const int command = frame.command();
        // A sender's mode has the same codes as a receiver's.
        if (frame.txMode() == modeMaster) {
            if (command == commandCoackn || command == commandCogivenbrmod ||
                command == commandCotranstable || command == commandCosendtask)
                seen.masterAnswered = true;
            if (ofThisScan && command == commandCosendtask && !frame.data().isEmpty() &&
                frame.data().at(0) == 1)
                seen.endReport = true;
            if (command == commandCotranstable)
                seen.table = true;
        } else if (frame.txMode() == modeAddressed && frame.txAddr() == daliModuleId &&
                   command == commandCoackn) {
            seen.moduleAck = true;
        }
    }
    return seen;
}

// ---- jobs --------------------------------------------------------------------------------------

struct Job
{
    int number = 0;
    bool erase = false;
    bool noFault = false; // --no-ack for an erase, --no-end for a scan
    int killAfterMs = -1;
    int ends = 0;
    QString outcome; // as named in the table
    QString message;
    ScanResult scan;
    qint64 logOffset = 0;
    int sessionInstance = 0; // the simulator the manager's session was opened with
    QPointer<QObject> object;
};

// The outcome names of the command line's JSON, as words: "scan no answer", "erase accepted".
QString spelledOut(const QString &job, const QString &outcomeName)
{
    return job + QLatin1Char(' ') + QString(outcomeName).replace(QLatin1Char('-'), QLatin1Char(' '));
}

// Empty when the outcome is one the bus allows; otherwise what is wrong.
QString judge(const Job &job, const BusSeen &bus, bool simulatorGone)
{
    const QString &outcome = job.outcome;
    if (outcome.endsWith(QLatin1String("link lost")) || outcome.endsWith(QLatin1String("send failed")))
        return simulatorGone ? QString() : QStringLiteral("while the simulator was there");
    if (outcome == QLatin1String("scan completed")) {
        if (!bus.endReport)
            return QStringLiteral("without an end-of-scan report on the bus");
        if (!bus.table)
            return QStringLiteral("without a module table on the bus");
        const auto &modules = job.scan.table.modules;
        if (!job.scan.tableRead || modules.size() != 2 || modules.at(0).id != daliModuleId ||
            modules.at(1).id != otherModuleId)
            return QStringLiteral("with a module table the bus did not report");
        return QString();
    }
    if (outcome == QLatin1String("scan incomplete")) {
        if (bus.endReport)
            return QStringLiteral("although the end-of-scan report came");
        if (!bus.masterAnswered)
            return QStringLiteral("although the master never answered");
        return QString();
    }
    if (outcome == QLatin1String("scan no answer"))
        return bus.masterAnswered ? QStringLiteral("although the master answered") : QString();
    if (outcome == QLatin1String("erase accepted"))
        return bus.moduleAck ? QString() : QStringLiteral("without the module's COACKN on the bus");
    if (outcome == QLatin1String("erase not acknowledged"))
        return bus.moduleAck ? QStringLiteral("although the module's COACKN came") : QString();
    return QStringLiteral("not an outcome of this run");
}

// ---- one transport -----------------------------------------------------------------------------

struct Options
{
    int jobs = 60;
    quint32 seed = 1;
    double minutes = 0;
    int retryMs = 300;
    int watchdogMs = 1500;
    int rssSlackKb = 1024;
    bool backToBack = false; // the next job starts while the master may still be resending a report
    QStringList transports = allTransports;
    QString simulator = QStringLiteral(SIM_EXECUTABLE);
    bool verbose = false;
};

struct Summary
{
    QString transport;
    int jobs = 0;
    std::map<QString, int> outcomes;
    int mismatches = 0;
    int unended = 0;
    int restarts = 0;
    Resources start;
    Resources end;
    double minutes = 0;
    bool grew = false;
};

class TransportRun
{
public:
    TransportRun(const Options &options, const QString &transport, const QString &logDir, quint32 seed)
        : options(options)
        , transport(transport)
        , sim(options.simulator, transport, logDir)
        , random(seed)
    {
        summary.transport = transport;
    }

    bool run(QString &error)
    {
        QElapsedTimer clock;
        clock.start();
        if (transport == QLatin1String("pty")) {
            setSerialPortLister([this] { return QList<SerialPortDescription>{{"SIMPTY0", sim.ptyPath()}}; });
        }
        if (!startSimulator(error))
            return false;
        manager = std::make_unique<MyTreatComPc>(QString());
        manager->policyDefault.timeout = qMax(1, options.retryMs / 50);
        const int warmUp = qBound(5, options.jobs / 10, 50);
        const qint64 limitMs = qint64(options.minutes * 60000);
        for (int i = 0; i < options.jobs; ++i) {
            if (limitMs > 0 && clock.elapsed() >= limitMs)
                break;
            if (!refresh(error))
                return false;
            if (i == warmUp) {
                // Measured as at the end: no job object left.
                finishLastJob();
                summary.start = measure();
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
        pump(300);
        finishLastJob();
        if (summary.jobs <= warmUp)
            summary.start = measure();
        summary.end = measure();
        summary.grew = summary.end.objects > summary.start.objects ||
                       summary.end.timers > summary.start.timers || summary.end.fds > summary.start.fds ||
                       summary.end.rssKb - summary.start.rssKb > options.rssSlackKb;
        manager.reset();
        sim.kill();
        setSerialPortLister({});
        summary.minutes = double(clock.elapsed()) / 60000.0;
        return true;
    }

    const Summary &result() const { return summary; }

private:
    bool startSimulator(QString &error)
    {
        const QStringList faults{QStringLiteral("--scan-ms"),   QStringLiteral("100"),
                                 QStringLiteral("--resend-ms"), QStringLiteral("150"),
                                 QStringLiteral("--drop-rx"),   QStringLiteral("4"),
                                 QStringLiteral("--drop-tx"),   QStringLiteral("4"),
                                 QStringLiteral("--corrupt"),   QStringLiteral("3"),
                                 QStringLiteral("--nack"),      QStringLiteral("5"),
                                 QStringLiteral("--delay-ms"),  QString::number(random.bounded(0, 40))};
        return sim.start(faults, random.generate(), error);
    }

    // What the installer's Refresh does: a working link is kept and checked, one that is down is
    // opened again on the same endpoint; a simulator that was killed has been started again first.
    bool refresh(QString &error)
    {
        if (!sim.isRunning()) {
            if (!startSimulator(error))
                return false;
            ++summary.restarts;
            if (manager->isConnected()) {
                manager->checkLink();
                waitUntil([this] { return !manager->isConnected(); }, 300);
            }
        }
        for (int attempt = 0; !manager->isConnected(); ++attempt) {
            if (attempt == 20) {
                error = QStringLiteral("%1 could not be opened again").arg(sim.url());
                return false;
            }
            if (attempt > 0)
                pump(200);
            manager->open(sim.url());
            sessionInstance = sim.currentInstance();
        }
        return true;
    }

    void runJob(int number)
    {
        auto job = std::make_unique<Job>();
        job->number = number;
        job->erase = random.bounded(2) == 1;
        job->noFault = random.bounded(100) < 10;
        // Now and then the simulator goes: just before the request (the link does not know yet) or
        // while the job runs.
        if (random.bounded(100) < 6)
            job->killAfterMs = random.bounded(3) == 0 ? 0 : int(random.bounded(1, 200));
        const bool faultsSet = sim.setFault("no-ack", job->erase && job->noFault) &&
                               sim.setFault("no-end", !job->erase && job->noFault);
        if (!faultsSet)
            failure = QStringLiteral("job %1: the simulator did not take its faults").arg(number);
        // At an installer's pace the master has settled the previous scan (its last report acknowledged
        // or given up) before the next job goes out.
        if (!options.backToBack && !waitUntil([this] { return sim.busIdle(); }, 10000))
            std::fprintf(stderr, "soak %s: job %d: the master did not settle its last scan\n",
                         qPrintable(transport), number);
        job->logOffset = sim.logSize();
        job->sessionInstance = sessionInstance;
        if (job->killAfterMs == 0)
            sim.kill();
        Job *record = job.get();
        if (job->erase) {
            auto *erase = new DaliErase(manager.get(), daliModuleId, QLatin1String(daliModuleLabel));
            QObject::connect(erase, &BusJob::result, [this, record](BusJob *job) {
                ended(record, spelledOut(QStringLiteral("erase"), BusJob::outcomeName(job->outcome())),
                      job->text());
            });
            job->object = erase;
            erase->start();
        } else {
            auto *scan = new BusScan(manager.get());
            scan->setWatchdogMs(options.watchdogMs);
            QObject::connect(scan, &BusJob::result, [this, record, scan] {
                const ScanResult &result = scan->scanResult();
                record->scan = result;
                ended(record, spelledOut(QStringLiteral("scan"), result.outcomeName()), result.message);
            });
            job->object = scan;
            scan->start();
        }
        if (job->killAfterMs > 0) {
            waitUntil([record] { return record->ends > 0; }, job->killAfterMs);
            sim.kill();
        }
        // Far beyond the longest legitimate job: five sends and the watchdog.
        const int limitMs = 6 * options.retryMs * 5 + 4 * options.watchdogMs + 10000;
        if (!waitUntil([record] { return record->ends > 0; }, limitMs)) {
            ++summary.unended;
            std::fprintf(stderr, "soak %s: job %d (%s) did not end within %d ms\n", qPrintable(transport),
                         number, record->erase ? "erase" : "scan", limitMs);
            record->ends = -1000; // its stop below is not an end of its own
            if (auto *busJob = qobject_cast<BusJob *>(record->object))
                busJob->stop(QStringLiteral("soak: no end"));
        }
        ++summary.jobs;
        finishLastJob();
        last = std::move(job);
    }

    void ended(Job *job, const QString &outcome, const QString &message)
    {
        ++job->ends;
        if (job->ends != 1)
            return;
        job->outcome = outcome;
        job->message = message;
        const QByteArray log = sim.logFrom(job->logOffset);
        const BusSeen bus = readBus(log.left(log.lastIndexOf('\n') + 1), manager->pcMode());
        const bool gone = sim.wasKilled(job->sessionInstance);
        const QString fault = judge(*job, bus, gone);
        ++summary.outcomes[outcome];
        if (options.verbose)
            std::fprintf(stderr, "soak %s: job %d %s%s: %s\n", qPrintable(transport), job->number,
                         qPrintable(outcome), job->killAfterMs >= 0 ? " (killed)" : "", qPrintable(message));
        if (fault.isEmpty())
            return;
        ++summary.mismatches;
        std::fprintf(stderr, "soak %s: MISMATCH job %d: %s %s (%s)\n  simulator log %s from byte %lld:\n%s\n",
                     qPrintable(transport), job->number, qPrintable(outcome), qPrintable(fault),
                     qPrintable(message), qPrintable(sim.currentLogPath()), job->logOffset, log.constData());
    }

    // A job is kept until the next one has ended, so that a second end of it is still seen.
    void finishLastJob()
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

    const Options &options;
    QString transport;
    Simulator sim;
    QRandomGenerator random;
    std::unique_ptr<MyTreatComPc> manager;
    int sessionInstance = 0;
    QString failure; // the run cannot go on
    std::unique_ptr<Job> last;
    Summary summary;
};

// ---- the table ---------------------------------------------------------------------------------

QString resourceCell(long start, long end)
{
    return QStringLiteral("%1 → %2").arg(start).arg(end);
}

void printTable(const QList<Summary> &summaries, const Options &options)
{
    std::printf("soak: seed %u, %d jobs per transport%s, retry %d ms, scan watchdog %d ms%s\n\n",
                options.seed, options.jobs,
                options.minutes > 0 ? qPrintable(QStringLiteral(" (at most %1 min)").arg(options.minutes))
                                    : "",
                options.retryMs, options.watchdogMs, options.backToBack ? ", back to back" : "");
    std::printf(
        "| Transport | Jobs | Outcomes | Mismatches | Unended | Restarts | RSS kB | Open fds | QObjects | "
        "Timers | Minutes |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const Summary &s : summaries) {
        QStringList outcomes;
        for (const auto &entry : s.outcomes)
            outcomes << QStringLiteral("%1 %2").arg(entry.first).arg(entry.second);
        std::printf("| %s | %d | %s | %d | %d | %d | %s | %s | %s | %s | %.1f |\n", qPrintable(s.transport),
                    s.jobs, qPrintable(outcomes.join(QStringLiteral(", "))), s.mismatches, s.unended,
                    s.restarts, qPrintable(resourceCell(s.start.rssKb, s.end.rssKb)),
                    qPrintable(resourceCell(s.start.fds, s.end.fds)),
                    qPrintable(resourceCell(s.start.objects, s.end.objects)),
                    qPrintable(resourceCell(s.start.timers, s.end.timers)), s.minutes);
    }
    std::fflush(stdout);
}

bool readOptions(const QStringList &arguments, Options &options, QString &error)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Runs scans and erases on one manager against the bus simulator under faults, checks every "
        "outcome against the simulator's frame log and prints one table."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("jobs"), QStringLiteral("Jobs per transport (default 60)."), QStringLiteral("N")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the job and fault mix (default 1)."),
         QStringLiteral("S")},
        {QStringLiteral("minutes"), QStringLiteral("Stop starting jobs on a transport after M minutes."),
         QStringLiteral("M")},
        {QStringLiteral("transports"), QStringLiteral("Comma-separated subset of udp,tcp,pty."),
         QStringLiteral("LIST")},
        {QStringLiteral("retry-ms"),
         QStringLiteral("Wait for an acknowledgement before a resend (default 300)."), QStringLiteral("MS")},
        {QStringLiteral("watchdog-ms"),
         QStringLiteral("Longest silence of the master in a scan (default 1500)."), QStringLiteral("MS")},
        {QStringLiteral("rss-slack-kb"),
         QStringLiteral("Resident memory growth still taken as flat (default 1024)."), QStringLiteral("KB")},
        {QStringLiteral("simulator"), QStringLiteral("The simulator program."), QStringLiteral("PATH")},
        {QStringLiteral("back-to-back"),
         QStringLiteral("Start each job at once, not after the master has settled the last scan.")},
        {QStringLiteral("verbose"), QStringLiteral("One line per job on stderr.")},
    });
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        std::exit(0);
    }
    bool ok = true;
    auto number = [&](const char *name, auto &value) {
        if (!parser.isSet(QLatin1String(name)))
            return;
        bool valid = false;
        const double read = parser.value(QLatin1String(name)).toDouble(&valid);
        if (!valid || read < 0) {
            error = QStringLiteral("--%1: expected a number").arg(QLatin1String(name));
            ok = false;
            return;
        }
        value = static_cast<std::remove_reference_t<decltype(value)>>(read);
    };
    number("jobs", options.jobs);
    number("seed", options.seed);
    number("minutes", options.minutes);
    number("retry-ms", options.retryMs);
    number("watchdog-ms", options.watchdogMs);
    number("rss-slack-kb", options.rssSlackKb);
    if (parser.isSet(QStringLiteral("transports")))
        options.transports = parser.value(QStringLiteral("transports")).split(QLatin1Char(','));
    if (parser.isSet(QStringLiteral("simulator")))
        options.simulator = parser.value(QStringLiteral("simulator"));
    options.verbose = parser.isSet(QStringLiteral("verbose"));
    options.backToBack = parser.isSet(QStringLiteral("back-to-back"));
    for (const QString &transport : qAsConst(options.transports)) {
        if (!allTransports.contains(transport)) {
            error = QStringLiteral("--transports: unknown transport %1").arg(transport);
            ok = false;
        }
    }
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    trackObjects();
    ::signal(SIGINT, &onTermination);
    ::signal(SIGTERM, &onTermination);
    ::signal(SIGHUP, &onTermination);
    QCoreApplication app(argc, argv);
    // The per-frame debug lines of the libraries would be most of the run's output and work.
    QLoggingCategory::setFilterRules(QStringLiteral("telvoran.*.debug=false"));
    Options options;
    QString error;
    if (!readOptions(QCoreApplication::arguments(), options, error)) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(error));
        return 2;
    }
    QTemporaryDir logDir;
    QList<Summary> summaries;
    bool clean = true;
    for (const QString &transport : qAsConst(options.transports)) {
        // Each transport draws its own mix, the same whether it runs alone or with the others.
        const quint32 offset = quint32(allTransports.indexOf(transport));
        TransportRun run(options, transport, logDir.path(), options.seed * 3 + offset);
        if (!run.run(error)) {
            std::fprintf(stderr, "soak %s: %s\n", qPrintable(transport), qPrintable(error));
            return 2;
        }
        const Summary &summary = run.result();
        summaries.append(summary);
        clean = clean && summary.mismatches == 0 && summary.unended == 0 && !summary.grew;
        if (summary.grew)
            std::fprintf(stderr, "soak %s: resources grew after the warm-up\n",
                         qPrintable(summary.transport));
    }
    printTable(summaries, options);
    return clean ? 0 : 1;
}
