#ifndef TIMEDFAKED2XXDRIVER_H
#define TIMEDFAKED2XXDRIVER_H

#include "faked2xxdriver.h"

#include <QElapsedTimer>
#include <QList>

// A FakeD2xxDriver that also notes when each write call came, so that retry schedules can be
// checked against the timers that drive them.
class TimedFakeD2xxDriver : public FakeD2xxDriver
{
public:
    TimedFakeD2xxDriver() { clock.start(); }

    // Milliseconds since the driver was created, on the clock of writeTimes.
    qint64 now() const { return clock.elapsed(); }

    // One entry per write call, any device, in call order.
    QList<qint64> writeTimes;

    FT_STATUS write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                    quint32 *bytesWritten) override
    {
        writeTimes.append(now());
        return FakeD2xxDriver::write(handle, buffer, bytesToWrite, bytesWritten);
    }

private:
    QElapsedTimer clock;
};

// Installs a fresh TimedFakeD2xxDriver behind the FT_ calls for the scope of a test.
class TimedFakeD2xxScope
{
public:
    TimedFakeD2xxScope();
    ~TimedFakeD2xxScope();
    TimedFakeD2xxScope(const TimedFakeD2xxScope &) = delete;
    TimedFakeD2xxScope &operator=(const TimedFakeD2xxScope &) = delete;

    TimedFakeD2xxDriver &driver() { return *fake; }

private:
    TimedFakeD2xxDriver *fake = nullptr; // owned by the FT_ dispatch while installed
    std::unique_ptr<D2xxDriver> previous;
};

#endif // TIMEDFAKED2XXDRIVER_H
