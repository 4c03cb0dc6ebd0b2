#ifndef E2EBENCH_H
#define E2EBENCH_H

#include "fakeserialportsscope.h"
#include "windowbench.h"

#include <QProcess>
#include <QRegularExpression>

// The bus simulator as a child process, its frame log collected while the event loop turns.
class SimProcess
{
public:
    SimProcess()
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(&process, &QProcess::readyReadStandardOutput,
                         [this] { log += QString::fromUtf8(process.readAllStandardOutput()); });
    }
    ~SimProcess() { kill(); }
    // The URL of the endpoint its first line names ("UDP 127.0.0.1:PORT", "PTY /dev/pts/N"); empty if it
    // did not start. A pty is not listed by the system: it is serial port SIMPTY0 while this lives, or
    // without listPty a device known by its path only (serial:///dev/pts/N).
    QString start(const QStringList &arguments, bool listPty = true)
    {
        process.start(QStringLiteral(SIM_EXECUTABLE), arguments);
        while (!log.contains(QLatin1Char('\n')) && process.waitForReadyRead(5000))
            log += QString::fromUtf8(process.readAllStandardOutput());
        const QString first = log.section(QLatin1Char('\n'), 0, 0);
        const QString kind = first.section(QLatin1Char(' '), 0, 0).toLower();
        const QString where = first.section(QLatin1Char(' '), 1);
        if (where.isEmpty())
            return QString();
        if (kind != QLatin1String("pty"))
            return kind + "://" + where;
        if (!listPty)
            return "serial://" + where;
        ports = std::make_unique<FakeSerialPortsScope>(QList<SerialPortDescription>{{"SIMPTY0", where}});
        return QStringLiteral("serial://simpty0?baud=38400");
    }
    void kill()
    {
        if (process.state() != QProcess::NotRunning)
            process.kill(), process.waitForFinished(5000);
    }
    QStringList linesWith(const QString &text) const { return log.split(QLatin1Char('\n')).filter(text); }
    static double stampOf(const QString &line) // from a line's "[   1.234]": seconds since start
    {
        static const QRegularExpression stamp(QStringLiteral("^\\[\\s*([0-9.]+)\\]"));
        return stamp.match(line).captured(1).toDouble();
    }

private:
    QProcess process;
    QString log;
    std::unique_ptr<FakeSerialPortsScope> ports;
};

#endif // E2EBENCH_H
