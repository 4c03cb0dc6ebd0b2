#ifndef SIMPROCESS_H
#define SIMPROCESS_H

#include <QProcess>
#include <QStringList>

// The bus simulator as a child process: started with its options, its endpoint line read, its frame
// log collected from stdout while the test's event loop turns. Killed and reaped when released.
class SimProcess
{
public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess &) = delete;
    SimProcess &operator=(const SimProcess &) = delete;

    // Starts the simulator and waits for its first line ("UDP 127.0.0.1:PORT", "PTY /dev/pts/N");
    // returns what follows the transport word, empty when it did not start.
    QString start(const QStringList &arguments);
    void kill();

    // The log lines so far that contain `text`.
    QStringList linesWith(const QString &text) const;
    // Seconds since the simulator started, from a log line's "[   1.234]" stamp.
    static double stampOf(const QString &line);

private:
    void collect();

    QProcess process;
    QString log;
};

#endif // SIMPROCESS_H
