#include "simprocess.h"

#include <QRegularExpression>

namespace {
constexpr int startTimeoutMs = 5000;
}

SimProcess::SimProcess()
{
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QObject::connect(&process, &QProcess::readyReadStandardOutput, [this] { collect(); });
}

SimProcess::~SimProcess()
{
    kill();
}

QString SimProcess::start(const QStringList &arguments)
{
    process.start(QStringLiteral(SIM_EXECUTABLE), arguments);
    if (!process.waitForStarted(startTimeoutMs))
        return {};
    while (!log.contains(QLatin1Char('\n')) && process.waitForReadyRead(startTimeoutMs))
        collect();
    const QString first = log.section(QLatin1Char('\n'), 0, 0);
    return first.section(QLatin1Char(' '), 1);
}

void SimProcess::kill()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(startTimeoutMs);
}

QStringList SimProcess::linesWith(const QString &text) const
{
    return log.split(QLatin1Char('\n')).filter(text);
}

double SimProcess::stampOf(const QString &line)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[\\s*([0-9.]+)\\]"));
    return stamp.match(line).captured(1).toDouble();
}

void SimProcess::collect()
{
    log += QString::fromUtf8(process.readAllStandardOutput());
}
