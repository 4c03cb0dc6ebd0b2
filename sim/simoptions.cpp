#include "simoptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <climits>

namespace {

const SimModule defaultModule{SimModuleTypes::daliInterface, 0x12D687, 3};

// Decimal, or hexadecimal with a 0x prefix.
bool parseNumber(const QString &text, quint32 &value)
{
    bool ok = false;
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = trimmed.mid(2).toUInt(&ok, 16);
    else
        value = trimmed.toUInt(&ok, 10);
    return ok && !trimmed.isEmpty();
}

bool readBounded(const QCommandLineParser &parser, const QString &name, int low, int high, int &value,
                 QString &error)
{
    if (!parser.isSet(name))
        return true;
    quint32 number = 0;
    const QString text = parser.value(name);
    if (!parseNumber(text, number) || number < quint32(low) || number > quint32(high)) {
        error = QStringLiteral("--%1 %2: expected a number from %3 to %4").arg(name, text).arg(low).arg(high);
        return false;
    }
    value = int(number);
    return true;
}

} // namespace

bool SimOptions::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    addOptions(parser);
    if (!parser.parse(arguments)) {
        error = parser.errorText();
        return false;
    }
    helpRequested = parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all"));
    versionRequested = parser.isSet(QStringLiteral("version"));
    if (!parser.positionalArguments().isEmpty()) {
        error = QStringLiteral("unexpected argument: %1").arg(parser.positionalArguments().constFirst());
        return false;
    }
    jsonLogPath = parser.value(QStringLiteral("json-log"));
    return readFront(parser) && readModules(parser) && readNumbers(parser);
}

QString SimOptions::helpText()
{
    QCommandLineParser parser;
    addOptions(parser);
    return parser.helpText();
}

void SimOptions::addOptions(QCommandLineParser &parser)
{
    parser.setApplicationDescription(QStringLiteral(
        "Plays the Telvoran2 hardware on this machine: an Ethernet interface module (UDP or TCP on a\n"
        "loopback address) or a serial line (pseudo-terminal), with a bus master and modules behind it.\n"
        "Prints the endpoint on the first line, then one line per frame and session event."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("udp"),
         QStringLiteral("Ethernet interface module on UDP HOST:PORT (loopback only; port 0 "
                        "picks a free one). Default 127.0.0.1:17481."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("tcp"),
         QStringLiteral("The same session over a TCP stream on HOST:PORT (loopback only)."),
         QStringLiteral("HOST:PORT")},
        {QStringLiteral("pty"),
         QStringLiteral("Serial line on a pseudo-terminal: prints \"PTY /dev/pts/N\"; frames "
                        "only, no session.")},
        {QStringLiteral("password"),
         QStringLiteral("Check the encoded LOGIN against this password; without it any "
                        "LOGIN opens the session."),
         QStringLiteral("PW")},
        {QStringLiteral("module"),
         QStringLiteral("A module on the bus, repeatable. TYPE is a number or a "
                        "five-character code (63 = LUX42), SERIAL decimal or 0x-hex (24 "
                        "bits), VERSION decimal. Default LUX42:0x12D687:3."),
         QStringLiteral("TYPE:SERIAL:VERSION")},
        {QStringLiteral("scan-ms"),
         QStringLiteral("Spread the four scan reports over N ms (0: back to back). "
                        "Default 1500."),
         QStringLiteral("N")},
        {QStringLiteral("resend-ms"),
         QStringLiteral("Resend an unacknowledged report after N ms. Default 500."), QStringLiteral("N")},
        {QStringLiteral("resends"), QStringLiteral("Resend a report at most N times. Default 3."),
         QStringLiteral("N")},
        {QStringLiteral("master-address"),
         QStringLiteral("The bus master reports from its own 4-byte address ADDR (sender mode 3) instead "
                        "of sender mode 0."),
         QStringLiteral("ADDR")},
        {QStringLiteral("unusable-reports"),
         QStringLiteral("The bus master answers a scan with reports the PC cannot read only: a module "
                        "count of one byte and a table without its marker.")},
        {QStringLiteral("drop-rx"), QStringLiteral("Lose PCT percent of the frames from the PC."),
         QStringLiteral("PCT")},
        {QStringLiteral("drop-tx"), QStringLiteral("Lose PCT percent of the frames to the PC."),
         QStringLiteral("PCT")},
        {QStringLiteral("corrupt"),
         QStringLiteral("Break the checksum of PCT percent of the frames to the PC."), QStringLiteral("PCT")},
        {QStringLiteral("delay-ms"), QStringLiteral("Delay every frame to the PC by N ms."),
         QStringLiteral("N")},
        {QStringLiteral("nack"),
         QStringLiteral("Answer PCT percent of the requests with CONACK (busy) instead of COACKN."),
         QStringLiteral("PCT")},
        {QStringLiteral("no-ack"), QStringLiteral("Withhold all acknowledgements.")},
        {QStringLiteral("no-end"),
         QStringLiteral("Withhold the end-of-scan report: the master falls silent after "
                        "the module table.")},
        {QStringLiteral("faults-from-stdin"),
         QStringLiteral("Read fault settings from standard input while running, one a line: "
                        "\"drop-rx PCT\", \"drop-tx PCT\", \"corrupt PCT\", \"nack PCT\", "
                        "\"delay-ms N\", \"no-ack 0|1\", \"no-end 0|1\". Each is logged as "
                        "\"faults: LINE\" once in force.")},
        {QStringLiteral("seed"), QStringLiteral("Seed of the fault injection, for reproducible runs."),
         QStringLiteral("N")},
        {QStringLiteral("flood"),
         QStringLiteral(
             "On a \"FLOOD\" datagram from anyone, send the session's PC N MB of frames, noise "
             "and oversize datagrams as fast as possible (UDP only). The PC's acknowledgements are counted "
             "until it is quiet for 1 s and logged as \"flood acknowledgements: A of F frames\"."),
         QStringLiteral("N")},
        {QStringLiteral("flood-ms"), QStringLiteral("Stop a flood after N ms. Default 5000."),
         QStringLiteral("N")},
        {QStringLiteral("json-log"),
         QStringLiteral("Also write the frame log to FILE, one JSON object a line: \"kind\" frame, "
                        "undecodable, rejected, session or event, with \"t\" (seconds since start) and "
                        "the unit's fields."),
         QStringLiteral("FILE")},
    });
}

bool SimOptions::readFront(const QCommandLineParser &parser)
{
    const bool udp = parser.isSet(QStringLiteral("udp"));
    const bool tcp = parser.isSet(QStringLiteral("tcp"));
    const bool pty = parser.isSet(QStringLiteral("pty"));
    if (int(udp) + int(tcp) + int(pty) > 1) {
        error = QStringLiteral("--udp, --tcp and --pty exclude each other");
        return false;
    }
    front = pty ? FrontPty : (tcp ? FrontTcp : FrontUdp);
    if (udp || tcp) {
        const QString text = parser.value(udp ? QStringLiteral("udp") : QStringLiteral("tcp"));
        if (!parseEndpoint(text, host, port, error))
            return false;
    }
    if (parser.isSet(QStringLiteral("password"))) {
        password = parser.value(QStringLiteral("password"));
        if (password.isEmpty()) {
            error = QStringLiteral("--password must not be empty");
            return false;
        }
    }
    return true;
}

bool SimOptions::readModules(const QCommandLineParser &parser)
{
    modules.clear();
    for (const QString &text : parser.values(QStringLiteral("module"))) {
        SimModule module;
        if (!parseModule(text, module, error))
            return false;
        modules.append(module);
    }
    if (modules.isEmpty())
        modules.append(defaultModule);
    return true;
}

bool SimOptions::readNumbers(const QCommandLineParser &parser)
{
    int seedValue = 0;
    const bool ok =
        readBounded(parser, QStringLiteral("scan-ms"), 0, longestWaitMs, scanMs, error) &&
        readBounded(parser, QStringLiteral("resend-ms"), 1, longestWaitMs, resendMs, error) &&
        readBounded(parser, QStringLiteral("resends"), 0, 100, resends, error) &&
        readBounded(parser, QStringLiteral("drop-rx"), 0, 100, faults.dropRxPct, error) &&
        readBounded(parser, QStringLiteral("drop-tx"), 0, 100, faults.dropTxPct, error) &&
        readBounded(parser, QStringLiteral("corrupt"), 0, 100, faults.corruptPct, error) &&
        readBounded(parser, QStringLiteral("delay-ms"), 0, longestWaitMs, faults.delayMs, error) &&
        readBounded(parser, QStringLiteral("nack"), 0, 100, faults.nackPct, error) &&
        readBounded(parser, QStringLiteral("seed"), 0, INT_MAX, seedValue, error) &&
        readBounded(parser, QStringLiteral("flood"), 0, 1000, floodMb, error) &&
        readBounded(parser, QStringLiteral("flood-ms"), 1, longestWaitMs, floodMs, error);
    if (!ok)
        return false;
    masterAddressed = parser.isSet(QStringLiteral("master-address"));
    if (masterAddressed && !parseNumber(parser.value(QStringLiteral("master-address")), masterAddress)) {
        error = QStringLiteral("--master-address %1: expected a 32-bit number")
                    .arg(parser.value(QStringLiteral("master-address")));
        return false;
    }
    unusableReports = parser.isSet(QStringLiteral("unusable-reports"));
    faults.noAck = parser.isSet(QStringLiteral("no-ack"));
    faults.noEnd = parser.isSet(QStringLiteral("no-end"));
    faultsFromStdin = parser.isSet(QStringLiteral("faults-from-stdin"));
    seeded = parser.isSet(QStringLiteral("seed"));
    seed = quint32(seedValue);
    if (seeded)
        faults.seed(seed);
    else
        faults.seedRandomly();
    return true;
}

bool SimOptions::parseModule(const QString &text, SimModule &module, QString &error)
{
    const QStringList parts = text.split(QLatin1Char(':'));
    if (parts.size() != 3) {
        error = QStringLiteral("--module %1: expected TYPE:SERIAL:VERSION").arg(text);
        return false;
    }
    quint32 type = 0;
    if (!parseNumber(parts.at(0), type)) {
        const int number = SimModuleTypes::number(parts.at(0).trimmed());
        if (number < 0) {
            error = QStringLiteral("--module %1: unknown module type %2").arg(text, parts.at(0));
            return false;
        }
        type = quint32(number);
    } else if (type > 0xFF) {
        error = QStringLiteral("--module %1: module type %2 is not a byte").arg(text, parts.at(0));
        return false;
    }
    quint32 serial = 0;
    if (!parseNumber(parts.at(1), serial) || serial > 0xFFFFFF) {
        error = QStringLiteral("--module %1: serial number %2 is not a 24-bit number").arg(text, parts.at(1));
        return false;
    }
    bool ok = false;
    const uint version = parts.at(2).trimmed().toUInt(&ok, 10);
    if (!ok || version > 0xFF) {
        error =
            QStringLiteral("--module %1: version %2 is not a number from 0 to 255").arg(text, parts.at(2));
        return false;
    }
    module = SimModule{quint8(type), serial, quint8(version)};
    return true;
}

bool SimOptions::parseEndpoint(const QString &text, QHostAddress &host, quint16 &port, QString &error)
{
    const int colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) {
        error = QStringLiteral("%1: expected HOST:PORT").arg(text);
        return false;
    }
    QString hostText = text.left(colon);
    if (hostText.startsWith(QLatin1Char('[')) && hostText.endsWith(QLatin1Char(']')))
        hostText = hostText.mid(1, hostText.size() - 2);
    QHostAddress address(hostText);
    if (hostText.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        address = QHostAddress(QHostAddress::LocalHost);
    if (address.isNull() || !address.isLoopback()) {
        error = QStringLiteral("%1: only loopback addresses are accepted (127.0.0.0/8, ::1)").arg(text);
        return false;
    }
    bool ok = false;
    const uint number = text.mid(colon + 1).toUInt(&ok, 10);
    if (!ok || number > 0xFFFF) {
        error = QStringLiteral("%1: port must be a number from 0 to 65535").arg(text);
        return false;
    }
    host = address;
    port = quint16(number);
    return true;
}
