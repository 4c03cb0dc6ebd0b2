#include "soakoptions.h"

#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

bool SoakOptions::read(const QStringList &arguments, QString &error)
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
    number("jobs", jobs);
    number("seed", seed);
    number("minutes", minutes);
    number("retry-ms", retryMs);
    number("watchdog-ms", watchdogMs);
    number("rss-slack-kb", rssSlackKb);
    if (parser.isSet(QStringLiteral("transports")))
        transports = parser.value(QStringLiteral("transports")).split(QLatin1Char(','));
    if (parser.isSet(QStringLiteral("simulator")))
        simulator = parser.value(QStringLiteral("simulator"));
    verbose = parser.isSet(QStringLiteral("verbose"));
    backToBack = parser.isSet(QStringLiteral("back-to-back"));
    for (const QString &transport : qAsConst(transports)) {
        if (!allTransports().contains(transport)) {
            error = QStringLiteral("--transports: unknown transport %1").arg(transport);
            ok = false;
        }
    }
    return ok;
}
