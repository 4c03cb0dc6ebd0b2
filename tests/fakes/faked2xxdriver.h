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
    quint32 id = 0x0403EF50; // vid << 16 | pid
    bool refuseOpen = false; // as when another program holds it
    FT_STATUS baudStatus = FT_OK;
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

    FT_STATUS createListStatus = FT_OK, getListStatus = FT_OK, detailStatus = FT_OK;
    QStringList calls;
    QList<qint64> writeTimes, pollTimes; // one per write call; one per queue status call

    FT_STATUS createDeviceInfoList(quint32 *numDevs) override
    {
        calls << QStringLiteral("CreateDeviceInfoList");
        *numDevs = quint32(present().size());
        return createListStatus;
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs) override
    {
        calls << QStringLiteral("GetDeviceInfoList");
        const QList<int> listed = present();
        for (int i = 0; getListStatus == FT_OK && i < listed.size(); ++i)
            list[i] = {}, list[i].ID = devices[listed[i]].id;
        *numDevs = getListStatus == FT_OK ? quint32(listed.size()) : *numDevs;
        return getListStatus;
    }
    FT_STATUS getDeviceInfoDetail(quint32 index, quint32 *, quint32 *, quint32 *id, quint32 *, char *, char *,
                                  FT_HANDLE *) override
    {
        calls << QStringLiteral("GetDeviceInfoDetail %1").arg(index);
        const int device = present().value(int(index), -1);
        if (device >= 0)
            *id = devices[device].id; // the only detail the link reads
        return device < 0 ? FT_DEVICE_NOT_FOUND : detailStatus;
    }
    FT_STATUS open(int index, FT_HANDLE *handle) override
    {
        calls << QStringLiteral("Open %1").arg(index);
        const int device = present().value(index, -1);
        if (device < 0 || devices[device].refuseOpen || devices[device].open)
            return device < 0 ? FT_DEVICE_NOT_FOUND : FT_DEVICE_NOT_OPENED;
        devices[device].open = true;
        *handle = reinterpret_cast<FT_HANDLE>(nextHandle += 0x10); // never reused: a stale one stays stale
        handles.insert(*handle, device);
        return FT_OK;
    }
    FT_STATUS setBaudRate(FT_HANDLE handle, quint32 baudRate) override
    {
        FakeUsbDevice *d = record(handle, QStringLiteral("SetBaudRate %1 ") + QString::number(baudRate));
        return d ? d->baudStatus : FT_INVALID_HANDLE;
    }
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, quint8 bits, quint8 stop, quint8 parity) override
    {
        const QString values = QStringLiteral(" %1 %2 %3").arg(bits).arg(stop).arg(parity);
        return record(handle, "SetDataCharacteristics %1" + values) ? FT_OK : FT_INVALID_HANDLE;
    }
    FT_STATUS getQueueStatus(FT_HANDLE handle, quint32 *rxBytes) override
    {
        pollTimes.append(now());
        FakeUsbDevice *d = record(handle, QStringLiteral("GetQueueStatus %1"));
        *rxBytes = d ? quint32(d->rxWaiting.size()) : 0;
        return !d ? FT_INVALID_HANDLE : d->unplugged ? FT_DEVICE_GONE : FT_OK;
    }
    FT_STATUS read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override
    {
        FakeUsbDevice *d = record(handle, QStringLiteral("Read %1 ") + QString::number(bytesToRead));
        if (!d || d->unplugged)
            return d ? FT_DEVICE_GONE : FT_INVALID_HANDLE;
        *bytesReturned = std::min(bytesToRead, quint32(d->rxWaiting.size()));
        std::copy_n(d->rxWaiting.constData(), *bytesReturned, static_cast<char *>(buffer));
        d->rxWaiting.remove(0, int(*bytesReturned));
        return FT_OK;
    }
    FT_STATUS write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                    quint32 *bytesWritten) override
    {
        writeTimes.append(now());
        FakeUsbDevice *d = record(handle, QStringLiteral("Write %1 ") + QString::number(bytesToWrite));
        if (!d || d->unplugged)
            return d ? FT_DEVICE_GONE : FT_INVALID_HANDLE;
        const auto step =
            d->writeScript.isEmpty() ? qMakePair(FT_STATUS(FT_OK), -1) : d->writeScript.takeFirst();
        *bytesWritten = step.second < 0 ? bytesToWrite : std::min(bytesToWrite, quint32(step.second));
        d->written.append(static_cast<const char *>(buffer), int(*bytesWritten));
        return step.first;
    }
    FT_STATUS close(FT_HANDLE handle) override
    {
        if (FakeUsbDevice *d = record(handle, QStringLiteral("Close %1")))
            d->open = false;
        return handles.remove(handle) ? FT_OK : FT_INVALID_HANDLE;
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
    FakeUsbDevice *record(FT_HANDLE handle, const QString &call) // nullptr: the handle is not open
    {
        const int index = handles.value(handle, -1);
        calls << call.arg(index < 0 ? QStringLiteral("?") : QString::number(index));
        if (index >= 0 && !devices[index].unplugDuring.isEmpty() &&
            call.startsWith(devices[index].unplugDuring))
            devices[index].unplugged = true, devices[index].unplugDuring.clear();
        return index < 0 ? nullptr : &devices[index];
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
