#ifndef SIMPTYPORT_H
#define SIMPTYPORT_H

#include "simstreamcutter.h"

#include <QObject>
#include <QString>

class FrameLog;
class QSocketNotifier;
class SimBus;

// The bus master's serial line, played on a pseudo-terminal: the PC opens the slave device like a
// serial port and the frames go straight over it, without any session.
class SimPtyPort : public QObject
{
    Q_OBJECT

public:
    // The bus and the log are not owned; the log may be null.
    SimPtyPort(SimBus *bus, FrameLog *log, QObject *parent = nullptr);
    ~SimPtyPort() override;

    bool open(QString &error);
    void close();
    bool isOpen() const { return masterFd >= 0; }
    // The device the PC opens, e.g. /dev/pts/3.
    QString slavePath() const { return path; }

private:
    void readMaster();
    void sendToPc(const QByteArray &wire);

    SimBus *bus;
    FrameLog *log;
    int masterFd = -1;
    // Held open so that the master side keeps working while the PC closes and reopens the port.
    int slaveFd = -1;
    QString path;
    QSocketNotifier *notifier = nullptr;
    SimStreamCutter cutter{false};
};

#endif // SIMPTYPORT_H
