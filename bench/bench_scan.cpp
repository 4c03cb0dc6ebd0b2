// Time from the Scan click to the listed module: the real window in this process, the bus simulator
// as a child process (--scan-ms 0, so the master's four reports go back to back) over UDP loopback.
// The wall time is the whole round trip (both processes, loopback, both event loops); the CPU time
// is this process's GUI thread alone, that is the toolbox's own share of it.

#include "eventloopwait.h"
#include "qtelvorandalitoolbox.h"
#include "simulatorwindow.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr int scanDeadlineMs = 5000;

// Keeps the per-frame debug lines off the terminal: their cost is the terminal's, not ours.
void quietLog(QtMsgType, const QMessageLogContext &, const QString &)
{}

struct Rig : SimulatorWindow
{
    QPushButton *scan = nullptr;
    QComboBox *modules = nullptr;

    // The scans the bus master has settled (its last report acknowledged or given up), from the
    // simulator's JSON frame log: after that it takes the next scan request.
    int scansSettled() const
    {
        QFile log(dir.filePath(QStringLiteral("bus-sim.jsonl")));
        int settled = 0;
        if (log.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : log.readAll().split('\n')) {
                const QJsonObject record = QJsonDocument::fromJson(line).object();
                settled +=
                    int(record.value(QLatin1String("kind")).toString() == QLatin1String("event") &&
                        record.value(QLatin1String("text")).toString() == QLatin1String("scan finished"));
            }
        }
        return settled;
    }
};

bool buildWindow(Rig &rig)
{
    if (!rig.start({"--scan-ms", "0", "--json-log", rig.dir.filePath(QStringLiteral("bus-sim.jsonl"))}))
        return false;
    rig.scan = rig.window->findChild<QPushButton *>(QStringLiteral("butScan"));
    rig.modules = rig.window->findChild<QComboBox *>(QStringLiteral("comboScan"));
    return rig.scan->isEnabled();
}

void BM_ScanToListedModule(benchmark::State &state, Rig *rig)
{
    const int settledBefore = rig->scansSettled();
    for (auto _ : state) {
        rig->scan->click();
        if (!processEventsUntil([rig] { return rig->modules->count() == 1; }, scanDeadlineMs)) {
            state.SkipWithError("no module listed");
            return;
        }
    }
    // Outside the timed loop: the master must have settled the scan before the next click.
    if (!processEventsUntil([rig, settledBefore] { return rig->scansSettled() > settledBefore; },
                            scanDeadlineMs))
        state.SkipWithError("the bus master did not settle the scan");
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
