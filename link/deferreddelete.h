#ifndef DEFERREDDELETE_H
#define DEFERREDDELETE_H

#include <QObject>
#include <memory>

// Sockets, ports and timers may be released from inside one of their own signals (a timer in its
// tick, a socket in its readyRead), so their owners hand them to deferred deletion.
struct DeferredDelete
{
    void operator()(QObject *object) const
    {
        if (object)
            object->deleteLater();
    }
};

template <class T> using DeferredPtr = std::unique_ptr<T, DeferredDelete>;

#endif // DEFERREDDELETE_H
