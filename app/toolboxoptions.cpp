#include "toolboxoptions.h"

#include "endpointarguments.h"
#include "serialportname.h"

#include <QCommandLineParser>
#include <QCoreApplication>


namespace {

const QString description = QStringLiteral(
    "Telvoran2 DALI toolbox: connects to the Telvoran2 bus master, scans the bus for its DALI "
    "interface modules and erases the short addresses and groups of the DALI slaves behind one.\n"
    "\n"
    "Without --scan or --erase the window opens. With either, the job runs without a window: progress "
    "goes to stderr, results to stdout.\n"
    "\n"
    "Examples, against the bus simulator started with telvoran-bus-sim --udp 127.0.0.1:17481:\n"
    "\n"
    "  telvoran-dali-toolbox --scan udp://127.0.0.1:17481\n"
    "\n"
    "  telvoran-dali-toolbox --scan udp://127.0.0.1:17481 --json\n"
    "\n"
    "  telvoran-dali-toolbox --erase udp://127.0.0.1:17481 --module 1234567 --yes\n"
    "\n"
    "Exit status: 0 done; 1 the bus did not answer as needed (not connected, no answer, link lost, scan "
    "incomplete, "
    "module not found, erase not acknowledged, time limit); 2 bad arguments; 3 erase not confirmed "
    "(no --yes).");

bool readSerial(const QString &text, quint32 &serial)
{
    bool ok = false;
    const uint value = text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) ? text.mid(2).toUInt(&ok, 16)
                                                                                 : text.toUInt(&ok, 10);
    serial = value;
    return ok && value <= 0x00FFFFFF;
}

} // namespace

bool ToolboxOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(description);
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption scanOption(QStringLiteral("scan"),
                                        QStringLiteral("Scan the bus behind URL and print its modules."),
                                        QStringLiteral("URL"));
    const QCommandLineOption eraseOption(
        QStringLiteral("erase"),
        QStringLiteral(
            "Scan the bus behind URL, then erase the short addresses and groups of every DALI slave "
            "behind the DALI interface module given by --module (only with --yes)."),
        QStringLiteral("URL"));
    const QCommandLineOption moduleOption(
        QStringLiteral("module"),
        QStringLiteral("Serial number of the DALI interface module to erase, decimal "
                       "as listed (1234567) or hexadecimal (0x12D687)."),
        QStringLiteral("SERIAL"));
    const QCommandLineOption yesOption(
        QStringLiteral("yes"),
        QStringLiteral("Really erase; without it --erase only says what it would erase."));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("Print the result as one JSON document (endpoint, date, outcome, "
                       "modules)."));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("Give up the whole run after SECONDS (default %1).").arg(defaultTimeoutSeconds),
        QStringLiteral("SECONDS"), QString::number(defaultTimeoutSeconds));
    const QCommandLineOption traceOption(QStringLiteral("trace"),
                                         QStringLiteral("Append one line per frame and session line, both "
                                                        "directions, to FILE (window and command line)."),
                                         QStringLiteral("FILE"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Append the diagnostic lines to FILE, which are off "
                                                      "otherwise (on Windows the window has no console)."),
                                       QStringLiteral("FILE"));
    const QCommandLineOption verboseOption(
        QStringLiteral("verbose"),
        QStringLiteral("Write the diagnostic lines (frames acknowledged, sent again or "
                       "dropped; link and driver errors) to the standard error."));
    parser.addOptions({scanOption, eraseOption, moduleOption, yesOption, jsonOption, timeoutOption,
                       traceOption, logOption, verboseOption});
    parser.addPositionalArgument(
        QStringLiteral("ENDPOINT_URL"),
        QStringLiteral("Endpoint listed in the window after the discovered bus master, e.g. "
                       "usb://localhost?vid=1027&pid=61264, serial://%1?baud=38400, "
                       "udp://192.168.1.20:17481 or tcp://192.168.1.20:17481.")
            .arg(SerialPortName::exampleName()),
        QStringLiteral("[ENDPOINT_URL ...]"));

    const auto fail = [this](const QString &why) {
        error = why;
        return false;
    };
    if (!parser.parse(arguments))
        return fail(parser.errorText());
    // Qt's help text names the program through the application object.
    if (QCoreApplication::instance())
        helpText = parser.helpText();
    if (parser.isSet(help) || parser.isSet(version)) {
        mode = parser.isSet(help) ? Help : Version;
        return true;
    }

    traceFile = parser.value(traceOption);
    logFile = parser.value(logOption);
    verbose = parser.isSet(verboseOption);
    const EndpointArguments positional = parseEndpointArguments(parser.positionalArguments());
    endpoints = positional.endpoints;
    rejections = positional.rejections;
    if (parser.isSet(scanOption) && parser.isSet(eraseOption))
        return fail(QStringLiteral("--scan and --erase cannot be combined"));
    if (!parser.isSet(scanOption) && !parser.isSet(eraseOption)) {
        for (const QCommandLineOption &jobOnly : {moduleOption, yesOption, jsonOption, timeoutOption}) {
            if (parser.isSet(jobOnly))
                return fail(QStringLiteral("--%1 needs --scan or --erase").arg(jobOnly.names().constFirst()));
        }
        return true;
    }
    mode = parser.isSet(scanOption) ? Scan : Erase;
    if (!parser.positionalArguments().isEmpty())
        return fail(
            QStringLiteral("endpoint arguments are for the window; give the endpoint to --scan or --erase"));
    const QString jobEndpoint = parser.value(mode == Scan ? scanOption : eraseOption);
    const QString problem = jobEndpointProblem(jobEndpoint);
    if (!problem.isEmpty())
        return fail(problem);
    jobUrl = QUrl(jobEndpoint, QUrl::StrictMode);
    if (mode == Scan && (parser.isSet(moduleOption) || parser.isSet(yesOption)))
        return fail(QStringLiteral("--module and --yes go with --erase"));
    if (mode == Erase && !parser.isSet(moduleOption))
        return fail(QStringLiteral("--erase needs --module SERIAL"));
    if (mode == Erase && !readSerial(parser.value(moduleOption), moduleSerial))
        return fail(QStringLiteral("invalid serial number \"%1\"").arg(parser.value(moduleOption)));
    bool ok = false;
    timeoutSeconds = parser.value(timeoutOption).toInt(&ok);
    // The limit runs as a timer of milliseconds.
    if (!ok || timeoutSeconds <= 0 || timeoutSeconds > maxTimeoutSeconds)
        return fail(QStringLiteral("invalid --timeout \"%1\": give a number of seconds from 1 to %2")
                        .arg(parser.value(timeoutOption))
                        .arg(maxTimeoutSeconds));
    json = parser.isSet(jsonOption);
    confirmed = parser.isSet(yesOption);
    return true;
}
