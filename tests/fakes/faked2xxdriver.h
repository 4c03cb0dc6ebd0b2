#ifndef FAKED2XXDRIVER_H
#define FAKED2XXDRIVER_H

#include "d2xxdriver.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QStringList>
#include <algorithm>

// One USB device behind the FakeD2xxDriver: its scripted failures and what the PC did to it.
struct FakeUsbDevice
{
    quint32 id = 0x0403EF50;       // vid << 16 | pid
    QByteArray rxWaiting, written; // bytes the device holds for the PC; every byte the PC wrote
    // Per write call: the status and the most bytes accepted (-1 = all). Empty: all accepted.
    QList<QPair<FT_STATUS, int>> writeScript;
    bool unplugged = false, open = false; // unplugged: queue status, read and write give FT_DEVICE_GONE
    QString unplugDuring; // a verb of `calls` ("Read", "Write"): unplugged during its next call
};

// A D2XX backend simulating attached USB devices. `calls` gets one entry per call: the verb, the list
// index or the device behind the handle ("?" if none), then the arguments, e.g. "SetBaudRate 0 38400".
class FakeD2xxDriver : public D2xxDriver
{
public:
    int addDevice(const FakeUsbDevice &device = {}) { return devices.append(device), devices.size() - 1; }
    FakeUsbDevice &device(int index) { return devices[index]; }
    void unplug(int index) { devices[index].unplugged = true; }
    int openHandleCount() const { return handles.size(); }
    qint64 now() const { return QDeadlineTimer::current().deadline(); } // the clock of writeTimes, ms

    QString refuse; // the start of a call as recorded, e.g. "Open 0": such calls fail with FT_OTHER_ERROR
    QStringList calls;
    QList<qint64> writeTimes, pollTimes; // one per write call; one per queue status call

    FT_STATUS createDeviceInfoList(quint32 *numDevs) override
    {
        *numDevs = quint32(present().size());
        return status(QStringLiteral("CreateDeviceInfoList"));
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs) override
    {
        const QList<int> listed = present();
        for (int i = 0; i < listed.size(); ++i)
            list[i] = {}, list[i].ID = devices[listed[i]].id;
        *numDevs = quint32(listed.size());
        return status(QStringLiteral("GetDeviceInfoList"));
    }
    FT_STATUS getDeviceInfoDetail(quint32 index, quint32 *, quint32 *, quint32 *id, quint32 *, char *, char *,
                                  FT_HANDLE *) override
    {
        const int device = present().value(int(index), -1);
        if (device >= 0)
            *id = devices[device].id; // the only detail the link reads
        const FT_STATUS result = status(QStringLiteral("GetDeviceInfoDetail %1").arg(index));
        return device < 0 ? FT_DEVICE_NOT_FOUND : result;
    }
    FT_STATUS open(int index, FT_HANDLE *handle) override
    {
        const int device = present().value(index, -1);
        if (status(QStringLiteral("Open %1").arg(index)) != FT_OK || device < 0 || devices[device].open)
            return device < 0 ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
        devices[device].open = true;
        *handle = reinterpret_cast<FT_HANDLE>(nextHandle += 0x10); // never reused: a stale one stays stale
        handles.insert(*handle, device);
        return FT_OK;
    }
    FT_STATUS setBaudRate(FT_HANDLE handle, quint32 baudRate) override
    {
        return record(handle, QStringLiteral("SetBaudRate %1 ") + QString::number(baudRate));
    }
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stop, quint8 parity) override
    {
        const QString values = QStringLiteral("%1 %2 %3").arg(bits).arg(stop).arg(parity);
        return record(handle, QStringLiteral("SetDataCharacteristics %1 ") + values);
    }
    FT_STATUS getQueueStatus(FT_HANDLE handle, quint32 *rxBytes) override
    {
        pollTimes.append(now());
        const FT_STATUS result = record(handle, QStringLiteral("GetQueueStatus %1"));
        *rxBytes = result == FT_OK ? quint32(devices[handles[handle]].rxWaiting.size()) : 0;
        return result;
    }
    FT_STATUS read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override
    {
        const FT_STATUS result = record(handle, QStringLiteral("Read %1 ") + QString::number(bytesToRead));
        if (result != FT_OK)
            return result;
        QByteArray &waiting = devices[handles[handle]].rxWaiting;
        *bytesReturned = std::min(bytesToRead, quint32(waiting.size()));
        std::copy_n(waiting.constData(), *bytesReturned, static_cast<char *>(buffer));
        waiting.remove(0, int(*bytesReturned));
        return FT_OK;
    }
    FT_STATUS write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                    quint32 *bytesWritten) override
    {
        writeTimes.append(now());
        const FT_STATUS result = record(handle, QStringLiteral("Write %1 ") + QString::number(bytesToWrite));
        if (result != FT_OK)
            return result;
        FakeUsbDevice &d = devices[handles[handle]];
        const auto step =
            d.writeScript.isEmpty() ? qMakePair(FT_STATUS(FT_OK), -1) : d.writeScript.takeFirst();
        *bytesWritten = step.second < 0 ? bytesToWrite : std::min(bytesToWrite, quint32(step.second));
        d.written.append(static_cast<const char *>(buffer), int(*bytesWritten));
        return step.first;
    }
    FT_STATUS close(FT_HANDLE handle) override
    {
        const FT_STATUS result = record(handle, QStringLiteral("Close %1"));
        if (result != FT_INVALID_HANDLE)
            devices[handles.take(handle)].open = false;
        return result == FT_INVALID_HANDLE ? result : FT_OK;
    }

private:
    QList<int> present() const // device indices in list order
    {
        QList<int> indices;
        for (int i = 0; i < devices.size(); ++i)
            if (!devices[i].unplugged)
                indices.append(i);
        return indices;
    }
    FT_STATUS status(const QString &call)
    {
        calls << call;
        return !refuse.isEmpty() && call.startsWith(refuse) ? FT_OTHER_ERROR : FT_OK;
    }
    // Records a call on an open handle: FT_INVALID_HANDLE if it is not one, FT_DEVICE_GONE once unplugged.
    FT_STATUS record(FT_HANDLE handle, const QString &call)
    {
        const int index = handles.value(handle, -1);
        const FT_STATUS result = status(call.arg(index < 0 ? QStringLiteral("?") : QString::number(index)));
        if (index < 0)
            return FT_INVALID_HANDLE;
        FakeUsbDevice &d = devices[index];
        if (!d.unplugDuring.isEmpty() && call.startsWith(d.unplugDuring))
            d.unplugged = true, d.unplugDuring.clear();
        return d.unplugged ? FT_DEVICE_GONE : result;
    }

    QList<FakeUsbDevice> devices;
    QHash<FT_HANDLE, int> handles;
    quintptr nextHandle = 0x1000;
};

// Installs a fresh FakeD2xxDriver behind the FT_ calls for its scope, then puts the previous back.
class FakeD2xxScope
{
public:
    FakeD2xxScope()
        : previous(installD2xxDriver(std::unique_ptr<D2xxDriver>(fake = new FakeD2xxDriver)))
    {}
    ~FakeD2xxScope() { installD2xxDriver(std::move(previous)); }
    FakeD2xxDriver &driver() { return *fake; }

private:
    FakeD2xxDriver *fake = nullptr; // owned by the FT_ dispatch while installed
    std::unique_ptr<D2xxDriver> previous;
};

#endif // FAKED2XXDRIVER_H
