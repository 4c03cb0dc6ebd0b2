#include "soaksimulator.h"

#include "eventloopwait.h"

#include <QFile>
#include <QJsonDocument>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace {

// The simulator running now: an interrupted soak takes it along instead of leaving it behind.
volatile sig_atomic_t runningSimulator = 0;

void onTermination(int signalNumber)
{
    if (runningSimulator > 0)
        ::kill(pid_t(runningSimulator), SIGKILL);
    ::signal(signalNumber, SIG_DFL);
    ::raise(signalNumber);
}

bool isEvent(const QJsonObject &record, const QString &text)
{
    return record.value(QLatin1String("kind")).toString() == QLatin1String("event") &&
           record.value(QLatin1String("text")).toString() == text;
}

QList<QJsonObject> recordsOf(const QByteArray &lines)
{
    QList<QJsonObject> records;
    for (const QByteArray &line : lines.split('\n')) {
        if (!line.isEmpty())
            records << QJsonDocument::fromJson(line).object();
    }
    return records;
}

} // namespace

SoakSimulator::SoakSimulator(const QString &program, const QString &transport, const QString &logDir)
    : program(program)
    , transport(transport)
    , logDir(logDir)
{}

SoakSimulator::~SoakSimulator()
{
    kill();
}

void SoakSimulator::killOnTermination()
{
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP})
        ::signal(signalNumber, &onTermination);
}

bool SoakSimulator::start(const QStringList &faultArgs, quint32 seed, QString &error)
{
    QStringList args;
    if (transport == QLatin1String("pty"))
        args << QStringLiteral("--pty");
    else
        args << QLatin1String("--") + transport << QStringLiteral("127.0.0.1:%1").arg(port);
    args << faultArgs << QStringLiteral("--seed") << QString::number(seed & 0x7FFFFFFF)
         << QStringLiteral("--faults-from-stdin");
    for (int attempt = 0; attempt < 20; ++attempt) {
        ++instance;
        const QString logPath = QStringLiteral("%1/%2-%3.log").arg(logDir, transport).arg(instance);
        jsonPath = QStringLiteral("%1/%2-%3.jsonl").arg(logDir, transport).arg(instance);
        process = std::make_unique<SimulatorProcess>(program);
        process->process().setStandardErrorFile(QProcess::nullDevice());
        if (process->start(args + QStringList{QStringLiteral("--json-log"), jsonPath}, logPath)) {
            runningSimulator = sig_atomic_t(process->processId());
            if (port == 0 && transport != QLatin1String("pty"))
                port = quint16(process->where().section(QLatin1Char(':'), -1).toUInt());
            faultsOn.clear();
            scanning = false;
            followedTo = 0;
            return true;
        }
        if (process->process().error() == QProcess::FailedToStart) {
            error = QStringLiteral("cannot start %1: %2").arg(program, process->process().errorString());
            return false;
        }
        // A port still held by the previous instance: try again shortly.
        process->kill();
        pollFor(200);
    }
    error = QStringLiteral("the simulator did not start: %1").arg(QString::fromUtf8(process->logFrom(0)));
    return false;
}

void SoakSimulator::kill()
{
    if (!isRunning())
        return;
    process->kill();
    runningSimulator = 0;
    killedInstances.insert(instance);
}

QString SoakSimulator::url() const
{
    if (transport == QLatin1String("pty"))
        return QStringLiteral("serial://simpty0?baud=38400");
    return QStringLiteral("%1://127.0.0.1:%2").arg(transport).arg(port);
}

qint64 SoakSimulator::logSize() const
{
    QFile file(jsonPath);
    return file.open(QIODevice::ReadOnly) ? file.size() : 0;
}

QByteArray SoakSimulator::wholeLinesFrom(qint64 offset) const
{
    QFile file(jsonPath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
        return QByteArray();
    const QByteArray log = file.readAll();
    // A last line still being written is left for the next read.
    return log.left(log.lastIndexOf('\n') + 1);
}

QList<QJsonObject> SoakSimulator::recordsFrom(qint64 offset) const
{
    return recordsOf(wholeLinesFrom(offset));
}

bool SoakSimulator::busIdle()
{
    const QByteArray lines = wholeLinesFrom(followedTo);
    followedTo += lines.size();
    for (const QJsonObject &record : recordsOf(lines)) {
        if (record.value(QLatin1String("kind")).toString() != QLatin1String("event"))
            continue;
        const QString text = record.value(QLatin1String("text")).toString();
        if (text.startsWith(QLatin1String("scan started:")))
            scanning = true;
        else if (text == QLatin1String("scan finished"))
            scanning = false;
    }
    return !scanning;
}

bool SoakSimulator::setFault(const QString &name, bool on)
{
    bool &current = faultsOn[name];
    if (current == on)
        return true;
    const QString line = name + (on ? QStringLiteral(" 1") : QStringLiteral(" 0"));
    const qint64 from = logSize();
    process->process().write(line.toUtf8() + '\n');
    process->process().waitForBytesWritten(2000);
    const QString confirmation = QStringLiteral("faults: ") + line;
    const bool held = pollUntil(
        [&] {
            const QList<QJsonObject> records = recordsFrom(from);
            return std::any_of(records.cbegin(), records.cend(),
                               [&](const QJsonObject &record) { return isEvent(record, confirmation); });
        },
        5000);
    if (held)
        current = on;
    return held;
}
