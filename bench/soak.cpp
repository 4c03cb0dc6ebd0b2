// Soak run: the scan and erase jobs of the window, headless, on one long-lived communication manager
// against the bus simulator (UDP, TCP, then a pseudo-terminal), under a mix of line faults, with the
// simulator killed and started again now and then. Every job's outcome is checked against the
// simulator's frame log (what really crossed the bus during the job), every job must end exactly
// once, and the process's memory, descriptors, objects and timers must be as many at the end as
// after the warm-up. One table at the end; exit status 1 on a mismatch, an unended job or growth.

#include "resourcecount.h"
#include "soakoptions.h"
#include "soaksimulator.h"
#include "soaksummary.h"
#include "transportrun.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <cstdio>

namespace {

QString resourceCell(long start, long end)
{
    return QStringLiteral("%1 → %2").arg(start).arg(end);
}

void printTable(const QList<SoakSummary> &summaries, const SoakOptions &options)
{
    std::printf("soak: seed %u, %d jobs per transport%s, retry %d ms, scan watchdog %d ms%s\n\n",
                options.seed, options.jobs,
                options.minutes > 0 ? qPrintable(QStringLiteral(" (at most %1 min)").arg(options.minutes))
                                    : "",
                options.retryMs, options.watchdogMs, options.backToBack ? ", back to back" : "");
    std::printf(
        "| Transport | Jobs | Outcomes | Mismatches | Unended | Restarts | RSS kB | Open fds | QObjects | "
        "Timers | Minutes |\n|---|---|---|---|---|---|---|---|---|---|---|\n");
    for (const SoakSummary &s : summaries) {
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

} // namespace

int main(int argc, char *argv[])
{
    ResourceCount::trackObjects();
    SoakSimulator::killOnTermination();
    QCoreApplication app(argc, argv);
    // The per-frame debug lines of the libraries would be most of the run's output and work.
    QLoggingCategory::setFilterRules(QStringLiteral("telvoran.*.debug=false"));
    SoakOptions options;
    QString error;
    if (!options.read(QCoreApplication::arguments(), error)) {
        std::fprintf(stderr, "soak: %s\n", qPrintable(error));
        return 2;
    }
    QTemporaryDir logDir;
    QList<SoakSummary> summaries;
    bool clean = true;
    for (const QString &transport : qAsConst(options.transports)) {
        // Each transport draws its own mix, the same whether it runs alone or with the others.
        const auto offset = quint32(SoakOptions::allTransports().indexOf(transport));
        TransportRun run(options, transport, logDir.path(), options.seed * 3 + offset);
        if (!run.run(error)) {
            std::fprintf(stderr, "soak %s: %s\n", qPrintable(transport), qPrintable(error));
            return 2;
        }
        const SoakSummary &summary = run.result();
        summaries.append(summary);
        clean = clean && summary.mismatches == 0 && summary.unended == 0 && !summary.grew;
        if (summary.grew)
            std::fprintf(stderr, "soak %s: resources grew after the warm-up\n",
                         qPrintable(summary.transport));
    }
    printTable(summaries, options);
    return clean ? 0 : 1;
}
