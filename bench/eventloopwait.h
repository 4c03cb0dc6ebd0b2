#ifndef EVENTLOOPWAIT_H
#define EVENTLOOPWAIT_H

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

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

// The same for a condition that no event announces (a file another process writes): the loop is
// woken every 5 ms to look again.
inline bool pollUntil(const std::function<bool()> &done, int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Turns the event loop for ms.
inline void pollFor(int ms)
{
    pollUntil([] { return false; }, ms);
}

#endif // EVENTLOOPWAIT_H
