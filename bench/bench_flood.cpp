// A module floods the window's UDP session, with the Bus traffic window closed and open in turn: the
// real window in this process with the program's own message handling (what a user gets), the bus
// simulator as a child process over UDP loopback. Per flood, from the simulator's side: the frames it
// sent that ask for an acknowledgement and the acknowledgements it got back; from the toolbox's: the
// GUI thread's CPU time per acknowledgement and the longest stretch of that CPU time without a return
// to the event loop.

#include "bustrafficwindow.h"
#include "eventloopwait.h"
#include "logfile.h"
#include "qtelvorandalitoolbox.h"
#include "simulatorwindow.h"
#include "toolboxoptions.h"

#include <QApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTimer>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <utility>

namespace {

constexpr int floodMs = 2000;

double threadCpuUs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

// The simulator's frame log, read as it grows.
class SimLog
{
public:
    explicit SimLog(const QString &path)
        : file(path)
    {
        file.open(QIODevice::ReadOnly);
    }
    // The next whole line that matches, or no match once the log holds no further line.
    QRegularExpressionMatch next(const QRegularExpression &pattern)
    {
        while (file.canReadLine() || file.bytesAvailable() > 0) {
            const qint64 start = file.pos();
            const QByteArray line = file.readLine();
            if (!line.endsWith('\n')) {
                file.seek(start);
                break;
            }
            const QRegularExpressionMatch match = pattern.match(QString::fromUtf8(line));
            if (match.hasMatch())
                return match;
        }
        return {};
    }

private:
    QFile file;
};

void flood(benchmark::State &state, SimulatorWindow *rig, SimLog *log, bool trafficWindowOpen)
{
    if (trafficWindowOpen)
        rig->window->showBusTraffic();
    else
        delete rig->window->trafficWindow();
    static const QRegularExpression started(QStringLiteral("flood: .* bytes in "));
    static const QRegularExpression counted(
        QStringLiteral("flood acknowledgements: ([0-9]+) of ([0-9]+) frames"));
    qint64 sent = 0;
    qint64 acks = 0;
    double cpuUs = 0;
    double longestGapUs = 0;
    for (auto _ : state) {
        // A 10 ms timer cannot fire while a slot holds the loop: the CPU time between its ticks is
        // the work done without a return to the loop (a loaded machine stretches wall time only).
        double lastTickUs = threadCpuUs();
        QTimer meter;
        meter.setTimerType(Qt::PreciseTimer);
        QObject::connect(&meter, &QTimer::timeout, [&] {
            const double now = threadCpuUs();
            longestGapUs = qMax(longestGapUs, now - std::exchange(lastTickUs, now));
        });
        meter.start(10);
        const double cpuBefore = threadCpuUs();
        QUdpSocket trigger;
        bool floodDone = false;
        for (int tries = 0; tries < 3 && !floodDone; ++tries) {
            trigger.writeDatagram("FLOOD", QHostAddress(QHostAddress::LocalHost), quint16(rig->url.port()));
            floodDone = processEventsUntil([&] { return log->next(started).hasMatch(); }, floodMs + 3000);
        }
        QRegularExpressionMatch summary;
        // The simulator sums up once the acknowledgements have stopped for a second.
        if (!floodDone ||
            !processEventsUntil([&] { return (summary = log->next(counted)).hasMatch(); }, 60000)) {
            state.SkipWithError("no flood, or no count of its acknowledgements");
            return;
        }
        cpuUs += threadCpuUs() - cpuBefore;
        acks += summary.captured(1).toLongLong();
        sent += summary.captured(2).toLongLong();
    }
    state.counters["sent"] = double(sent);
    state.counters["acked"] = double(acks);
    state.counters["cpu_us_per_ack"] = acks > 0 ? cpuUs / double(acks) : 0;
    state.counters["gap_ms"] = longestGapUs / 1000;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    // As main sets it up for a window started without --verbose or --log.
    QString error;
    LogFile::setUp(ToolboxOptions(), error);

    SimulatorWindow rig;
    if (!rig.start({"--flood", "20", "--flood-ms", QString::number(floodMs)})) {
        fprintf(stderr, "the bus simulator did not start\n");
        return 1;
    }
    SimLog log(rig.dir.filePath(QStringLiteral("bus-sim.log")));
    // Wakes the event loop now and then, so that the waits notice the simulator's log lines.
    QTimer wakeUp;
    wakeUp.start(50);
    // Lets the session open before the first flood.
    processEventsUntil([] { return false; }, 1000);

    // Closed and open in turn, so that both see the same machine load.
    for (int round = 0; round < 3; ++round) {
        for (const bool open : {false, true}) {
            benchmark::RegisterBenchmark(open ? "BM_FloodTrafficWindowOpen" : "BM_FloodTrafficWindowClosed",
                                         flood, &rig, &log, open)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    rig.stop();
    return 0;
}
