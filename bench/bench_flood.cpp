// The toolbox's CPU time per acknowledged frame while a module floods the session, with the Bus
// traffic window closed and open in turn: the real window in this process, the bus simulator as a
// child process over UDP loopback. The window's cost is the difference; the figure is per frame the
// manager acknowledged, so a run in which the toolbox fell behind and the kernel dropped datagrams
// still compares.

#include "bustrafficwindow.h"
#include "eventloopwait.h"
#include "qtelvorandalitoolbox.h"
#include "simulatorwindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <QUdpSocket>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>

namespace {

constexpr int quietMs = 500; // no acknowledgement for this long: the flood is over

qint64 acknowledged = 0;

// The manager's debug line per acknowledgement counts it; no line reaches the terminal.
void countAcks(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message.startsWith(QLatin1String("Ack ")))
        ++acknowledged;
}

double threadCpuUs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e6 + double(now.tv_nsec) / 1e3;
}

void flood(benchmark::State &state, SimulatorWindow *rig, bool trafficWindowOpen)
{
    if (trafficWindowOpen)
        rig->window->showBusTraffic();
    else
        delete rig->window->trafficWindow();
    double cpuUs = 0;
    qint64 acks = 0;
    for (auto _ : state) {
        const qint64 before = acknowledged;
        const double cpuBefore = threadCpuUs();
        // The simulator may still be reading the last flood's acknowledgements, its socket full:
        // the trigger is sent again until the flood starts.
        QUdpSocket trigger;
        bool started = false;
        for (int tries = 0; tries < 20 && !started; ++tries) {
            trigger.writeDatagram("FLOOD", QHostAddress(QHostAddress::LocalHost), quint16(rig->url.port()));
            started = processEventsUntil([before] { return acknowledged > before; }, 1000);
        }
        if (!started) {
            state.SkipWithError("no acknowledged frame");
            return;
        }
        // Until the acknowledgements stop: the flood is over and its backlog handled.
        QElapsedTimer sinceLast;
        sinceLast.start();
        qint64 last = acknowledged;
        processEventsUntil(
            [&] {
                if (acknowledged != last) {
                    last = acknowledged;
                    sinceLast.restart();
                }
                return sinceLast.elapsed() >= quietMs;
            },
            30000);
        cpuUs += threadCpuUs() - cpuBefore;
        acks += acknowledged - before;
    }
    state.counters["acks"] = double(acks);
    state.counters["cpu_us_per_ack"] = acks > 0 ? cpuUs / double(acks) : 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    SimulatorWindow rig;
    if (!rig.start({"--flood", "20", "--flood-ms", "2000"})) {
        fprintf(stderr, "the bus simulator did not start\n");
        return 1;
    }
    qInstallMessageHandler(countAcks);
    // Wakes the event loop now and then, so that the quiet spell is noticed without traffic.
    QTimer wakeUp;
    wakeUp.start(50);
    // Lets the session open before the first flood.
    processEventsUntil([] { return false; }, 1000);

    // Closed and open in turn, so that both see the same machine load.
    for (int round = 0; round < 3; ++round) {
        for (const bool open : {false, true}) {
            benchmark::RegisterBenchmark(open ? "BM_FloodTrafficWindowOpen" : "BM_FloodTrafficWindowClosed",
                                         flood, &rig, open)
                ->Unit(benchmark::kMillisecond)
                ->Iterations(1);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    qInstallMessageHandler(nullptr);
    rig.stop();
    return 0;
}
