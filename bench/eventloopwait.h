#ifndef EVENTLOOPWAIT_H
#define EVENTLOOPWAIT_H

#include <QCoreApplication>
#include <QDeadlineTimer>

#include <functional>

// Turns the event loop without spinning until done() holds or ms have passed: the thread sleeps in
// poll() until a datagram or a timer wakes it, so the CPU time measured is work done, not waiting.
inline bool processEventsUntil(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

#endif // EVENTLOOPWAIT_H
