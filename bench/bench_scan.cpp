// Time from the Scan click to the listed module: the real window in this process, the bus simulator
// as a child process (--scan-ms 0, so the master's four reports go back to back) over UDP loopback.
// The wall time is the whole round trip (both processes, loopback, both event loops); the CPU time
// is this process's GUI thread alone, that is the toolbox's own share of it.

#include "eventloopwait.h"
#include "qtelvorandalitoolbox.h"
#include "simulatorwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int scanDeadlineMs = 5000;

int scansEnded = 0;

// Keeps the per-frame debug lines off the terminal (their cost is the terminal's, not ours) and
// counts the end-of-scan line, after which the window hears no more scan reports.
void quietLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    if (message == QLatin1String("DISCONNECT ALLFRAME"))
        ++scansEnded;
}

struct Rig : SimulatorWindow
{
    QPushButton *scan = nullptr;
    QComboBox *modules = nullptr;
};

bool buildWindow(Rig &rig)
{
    if (!rig.start({"--scan-ms", "0"}))
        return false;
    rig.scan = rig.window->findChild<QPushButton *>(QStringLiteral("butScan"));
    rig.modules = rig.window->findChild<QComboBox *>(QStringLiteral("comboScan"));
    return rig.scan->isEnabled();
}

void BM_ScanToListedModule(benchmark::State &state, Rig *rig)
{
    const int endedBefore = scansEnded;
    for (auto _ : state) {
        rig->scan->click();
        if (!processEventsUntil([rig] { return rig->modules->count() == 1; }, scanDeadlineMs)) {
            state.SkipWithError("no module listed");
            return;
        }
    }
    // Outside the timed loop: the end-of-scan report must be in before the next click.
    if (!processEventsUntil([endedBefore] { return scansEnded > endedBefore; }, scanDeadlineMs))
        state.SkipWithError("no end-of-scan report");
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);

    Rig rig;
    if (!buildWindow(rig)) {
        fprintf(stderr, "the bus simulator did not start or could not be reached\n");
        return 1;
    }
    qInstallMessageHandler(quietLog);
    // Wakes the event loop now and then, so that a lost datagram ends in the deadline, not in a hang.
    QTimer wakeUp;
    wakeUp.start(100);

    benchmark::RegisterBenchmark("BM_ScanToListedModule", BM_ScanToListedModule, &rig)
        ->Unit(benchmark::kMillisecond)
        ->Iterations(1)
        ->Repetitions(20)
        ->ReportAggregatesOnly(true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    qInstallMessageHandler(nullptr);
    rig.stop();
    return 0;
}
