#include "faked2xxdriver.h"

#include <algorithm>
#include <cstring>

int FakeD2xxDriver::addDevice(const FakeUsbDevice &device)
{
    devices.append(device);
    return devices.size() - 1;
}

QList<int> FakeD2xxDriver::present() const
{
    QList<int> indices;
    for (int i = 0; i < devices.size(); ++i) {
        if (!devices[i].unplugged)
            indices.append(i);
    }
    return indices;
}

FakeUsbDevice *FakeD2xxDriver::record(FT_HANDLE handle, const QString &verb, const QString &arguments)
{
    const int index = handles.value(handle, -1);
    calls << QStringLiteral("%1 %2%3").arg(verb, index < 0 ? QStringLiteral("?") : QString::number(index),
                                           arguments);
    return index < 0 ? nullptr : &devices[index];
}

FT_STATUS FakeD2xxDriver::createDeviceInfoList(quint32 *numDevs)
{
    calls << QStringLiteral("CreateDeviceInfoList");
    *numDevs = quint32(present().size());
    return createListStatus;
}

FT_STATUS FakeD2xxDriver::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs)
{
    calls << QStringLiteral("GetDeviceInfoList");
    if (getListStatus != FT_OK)
        return getListStatus;
    const QList<int> listed = present();
    for (int i = 0; i < listed.size(); ++i) {
        list[i] = {};
        list[i].ID = devices[listed[i]].id;
        list[i].Flags = devices[listed[i]].open ? 1 : 0;
        list[i].ftHandle = handles.key(listed[i], nullptr);
    }
    *numDevs = quint32(listed.size());
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::getDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id,
                                              quint32 *locId, char *serialNumber, char *description,
                                              FT_HANDLE *handle)
{
    calls << QStringLiteral("GetDeviceInfoDetail %1").arg(index);
    const QList<int> listed = present();
    if (index >= quint32(listed.size()))
        return FT_DEVICE_NOT_FOUND;
    const int device = listed[int(index)];
    *flags = devices[device].open ? 1 : 0;
    *type = *locId = 0;
    *id = devices[device].id;
    *serialNumber = *description = '\0';
    *handle = handles.key(device, nullptr);
    return detailStatus;
}

FT_STATUS FakeD2xxDriver::open(int index, FT_HANDLE *handle)
{
    calls << QStringLiteral("Open %1").arg(index);
    const QList<int> listed = present();
    if (index < 0 || index >= listed.size())
        return FT_DEVICE_NOT_FOUND;
    FakeUsbDevice &d = devices[listed[index]];
    if (d.refuseOpen || d.open)
        return FT_DEVICE_NOT_OPENED;
    d.open = true;
    // Never reused, so a stale handle is told from a live one.
    *handle = reinterpret_cast<FT_HANDLE>(nextHandle += 0x10);
    handles.insert(*handle, listed[index]);
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::setBaudRate(FT_HANDLE handle, quint32 baudRate)
{
    FakeUsbDevice *d = record(handle, QStringLiteral("SetBaudRate"), QStringLiteral(" %1").arg(baudRate));
    if (d && d->baudStatus == FT_OK)
        d->baudRate = baudRate;
    return d ? d->baudStatus : FT_INVALID_HANDLE;
}

FT_STATUS FakeD2xxDriver::setDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits,
                                                 quint8 parity)
{
    FakeUsbDevice *d = record(handle, QStringLiteral("SetDataCharacteristics"),
                              QStringLiteral(" %1 %2 %3").arg(wordLength).arg(stopBits).arg(parity));
    if (d && d->dataCharacteristicsStatus == FT_OK) {
        d->wordLength = wordLength;
        d->stopBits = stopBits;
        d->parity = parity;
    }
    return d ? d->dataCharacteristicsStatus : FT_INVALID_HANDLE;
}

FT_STATUS FakeD2xxDriver::getQueueStatus(FT_HANDLE handle, quint32 *rxBytes)
{
    FakeUsbDevice *d = record(handle, QStringLiteral("GetQueueStatus"));
    *rxBytes = d ? quint32(d->rxWaiting.size()) : 0;
    return !d ? FT_INVALID_HANDLE : d->unplugged ? FT_DEVICE_GONE : FT_OK;
}

FT_STATUS FakeD2xxDriver::read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    FakeUsbDevice *d = record(handle, QStringLiteral("Read"), QStringLiteral(" %1").arg(bytesToRead));
    if (!d)
        return FT_INVALID_HANDLE;
    if (d->unplugged)
        return FT_DEVICE_GONE;
    const int n = int(std::min(bytesToRead, quint32(d->rxWaiting.size())));
    std::memcpy(buffer, d->rxWaiting.constData(), size_t(n));
    d->rxWaiting.remove(0, n);
    *bytesReturned = quint32(n);
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                                quint32 *bytesWritten)
{
    writeTimes.append(now());
    FakeUsbDevice *d = record(handle, QStringLiteral("Write"), QStringLiteral(" %1").arg(bytesToWrite));
    if (!d)
        return FT_INVALID_HANDLE;
    if (d->unplugged)
        return FT_DEVICE_GONE;
    const QPair<FT_STATUS, int> step =
        d->writeScript.isEmpty() ? qMakePair(FT_STATUS(FT_OK), -1) : d->writeScript.takeFirst();
    *bytesWritten = step.second < 0 ? bytesToWrite : std::min(bytesToWrite, quint32(step.second));
    d->written.append(static_cast<const char *>(buffer), int(*bytesWritten));
    return step.first;
}

FT_STATUS FakeD2xxDriver::close(FT_HANDLE handle)
{
    FakeUsbDevice *d = record(handle, QStringLiteral("Close"));
    if (d)
        d->open = false;
    return handles.remove(handle) ? FT_OK : FT_INVALID_HANDLE;
}

FakeD2xxScope::FakeD2xxScope()
{
    auto driver = std::make_unique<FakeD2xxDriver>();
    fake = driver.get();
    previous = installD2xxDriver(std::move(driver));
}

FakeD2xxScope::~FakeD2xxScope()
{
    installD2xxDriver(std::move(previous)); // the fake goes with the returned pointer
}
