#ifndef E2EBENCH_H
#define E2EBENCH_H

#include "fakeserialportsscope.h"
#include "simulatorprocess.h"
#include "windowbench.h"

#include <QRegularExpression>
#include <QTemporaryDir>

// The bus simulator as a child process, with its frame log.
class SimProcess
{
public:
    SimProcess() { simulator.process().setProcessChannelMode(QProcess::ForwardedErrorChannel); }
    // The URL of the endpoint its first line names; empty if it did not start. A pty is not listed by
    // the system: it is serial port SIMPTY0 while this lives, or without listPty a device known by its
    // path only (serial:///dev/pts/N).
    QString start(const QStringList &arguments, bool listPty = true)
    {
        if (!simulator.start(arguments, dir.filePath(QStringLiteral("bus-sim.log"))))
            return QString();
        if (simulator.kind() != QLatin1String("pty") || !listPty)
            return simulator.url();
        ports = std::make_unique<FakeSerialPortsScope>(
            QList<SerialPortDescription>{{"SIMPTY0", simulator.where()}});
        return QStringLiteral("serial://simpty0?baud=38400");
    }
    void kill() { simulator.kill(); }
    QStringList linesWith(const QString &text) const
    {
        return QString::fromUtf8(simulator.logFrom(0)).split(QLatin1Char('\n')).filter(text);
    }
    static double stampOf(const QString &line) // from a line's "[   1.234]": seconds since start
    {
        static const QRegularExpression stamp(QStringLiteral("^\\[\\s*([0-9.]+)\\]"));
        return stamp.match(line).captured(1).toDouble();
    }

private:
    QTemporaryDir dir;
    SimulatorProcess simulator{QStringLiteral(SIM_EXECUTABLE)};
    std::unique_ptr<FakeSerialPortsScope> ports;
};

#endif // E2EBENCH_H
