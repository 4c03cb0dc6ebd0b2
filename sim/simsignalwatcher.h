#ifndef SIMSIGNALWATCHER_H
#define SIMSIGNALWATCHER_H

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal on the event loop, so the simulator leaves through its
// normal path and closes its sockets and its pseudo-terminal.
class SimSignalWatcher : public QObject
{
    Q_OBJECT

public:
    explicit SimSignalWatcher(QObject *parent = nullptr);
    ~SimSignalWatcher() override;

    bool isWatching() const { return notifier != nullptr; }

signals:
    void terminationRequested(int signalNumber);

private:
    void readSignal();
    static void onSignal(int signalNumber);

    QSocketNotifier *notifier = nullptr;
};

#endif // SIMSIGNALWATCHER_H
