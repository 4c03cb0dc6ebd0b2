#ifndef SIMULATORPROCESS_H
#define SIMULATORPROCESS_H

#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

// The bus simulator as a child process. Its frame log (standard output) goes to a file, where a pipe
// that nobody reads could fill up and stall it; the log's first line names the endpoint it plays:
// "UDP 127.0.0.1:PORT", "TCP 127.0.0.1:PORT" or "PTY /dev/pts/N".
class SimulatorProcess
{
public:
    explicit SimulatorProcess(const QString &program)
        : program(program)
    {}
    ~SimulatorProcess() { kill(); }
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it with these arguments, its log written to logPath, and waits up to 5 s for the first
    // line. False if by then it has ended or named no endpoint.
    bool start(const QStringList &arguments, const QString &logPath)
    {
        kill();
        endpointKind.clear();
        endpointWhere.clear();
        path = logPath;
        child.setStandardOutputFile(logPath, QIODevice::Truncate);
        child.start(program, arguments);
        if (!child.waitForStarted(5000))
            return false;
        for (int slept = 0; slept < 5000; slept += 10) {
            const QByteArray log = logFrom(0);
            const int end = log.indexOf('\n');
            if (end >= 0) {
                const QString first = QString::fromUtf8(log.left(end)).trimmed();
                endpointKind = first.section(QLatin1Char(' '), 0, 0).toLower();
                endpointWhere = first.section(QLatin1Char(' '), 1);
                return !endpointWhere.isEmpty() && isRunning();
            }
            if (child.waitForFinished(10)) // sleeps while it runs
                return false;
        }
        return false;
    }

    void kill()
    {
        if (child.state() == QProcess::NotRunning)
            return;
        child.kill();
        child.waitForFinished(5000);
    }

    bool isRunning() const { return child.state() == QProcess::Running; }
    qint64 processId() const { return child.processId(); }
    // From the first line: "udp", "tcp" or "pty", and the address and port or the pty's path.
    QString kind() const { return endpointKind; }
    QString where() const { return endpointWhere; }
    // The endpoint's URL: udp://127.0.0.1:PORT, tcp://..., or for a pty serial:///dev/pts/N.
    QString url() const
    {
        if (endpointWhere.isEmpty())
            return QString();
        return endpointKind == QLatin1String("pty") ? QStringLiteral("serial://") + endpointWhere
                                                    : endpointKind + QStringLiteral("://") + endpointWhere;
    }
    QString logPath() const { return path; }
    // The log from that byte on; what the simulator has written so far.
    QByteArray logFrom(qint64 offset) const
    {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(offset))
            return QByteArray();
        return file.readAll();
    }
    // Its standard input and error, set before start.
    QProcess &process() { return child; }

private:
    QString program;
    QString path;
    QString endpointKind;
    QString endpointWhere;
    QProcess child;
};

#endif // SIMULATORPROCESS_H
