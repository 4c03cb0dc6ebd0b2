#ifndef SOAKSIMULATOR_H
#define SOAKSIMULATOR_H

#include "simulatorprocess.h"

#include <QJsonObject>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <unordered_set>

// One simulator process after another on the same endpoint, for the soak. Each instance writes its
// frame log as JSON lines to a file of its own, which the soak reads by offset; fault settings go to
// it over its standard input.
class SoakSimulator
{
public:
    SoakSimulator(const QString &program, const QString &transport, const QString &logDir);
    ~SoakSimulator();

    // Kills the running instance too when the soak is interrupted (SIGINT, SIGTERM, SIGHUP).
    static void killOnTermination();

    // A new instance with these fault arguments; a port still held by the last one is tried again.
    bool start(const QStringList &faultArgs, quint32 seed, QString &error);
    void kill();

    bool isRunning() const { return process && process->isRunning(); }
    int currentInstance() const { return instance; }
    bool wasKilled(int which) const { return killedInstances.count(which) > 0; }
    // The endpoint the toolbox opens: the same across restarts.
    QString url() const;
    QString ptyPath() const { return process ? process->where() : QString(); }

    // The current instance's JSON log: its size, and its whole records from that byte on.
    qint64 logSize() const;
    QList<QJsonObject> recordsFrom(qint64 offset) const;
    // The same as text: every whole line from that byte on.
    QByteArray wholeLinesFrom(qint64 offset) const;
    QString currentLogPath() const { return jsonPath; }
    // No scan of the master under way: its last report was acknowledged or given up.
    bool busIdle();
    // Sets one fault from now on, and waits until the simulator says it holds.
    bool setFault(const QString &name, bool on);

private:
    QString program;
    QString transport;
    QString logDir;
    QString jsonPath;
    quint16 port = 0;
    int instance = 0;
    qint64 followedTo = 0; // how far busIdle() has read the log
    bool scanning = false;
    std::map<QString, bool> faultsOn; // as set from standard input; none at start
    std::unordered_set<int> killedInstances;
    std::unique_ptr<SimulatorProcess> process;
};

#endif // SOAKSIMULATOR_H
