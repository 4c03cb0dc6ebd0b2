#ifndef SIMFAULTCONTROL_H
#define SIMFAULTCONTROL_H

#include <QByteArray>
#include <QObject>

class FrameLog;
class QSocketNotifier;
class SimFaults;

// Changes the fault settings while the simulator runs, from lines read on a descriptor (standard
// input): "drop-rx PCT", "drop-tx PCT", "corrupt PCT", "nack PCT", "delay-ms N", "no-ack 0|1",
// "no-end 0|1". Each line is logged once in force ("faults: no-ack 1"), or as refused, so that a
// script driving the simulator knows from the frame log when a setting holds.
class SimFaultControl : public QObject
{
    Q_OBJECT

public:
    // Neither the faults nor the log are owned; the log may be null.
    SimFaultControl(SimFaults *faults, FrameLog *log, QObject *parent = nullptr);

    void listen(int fd);
    // Applies one line; false (and nothing changed) if it names no setting or its value is out of range.
    static bool apply(const QByteArray &line, SimFaults &faults);

private:
    void readInput();

    SimFaults *faults;
    FrameLog *log;
    QSocketNotifier *notifier = nullptr;
    QByteArray pending;
};

#endif // SIMFAULTCONTROL_H
