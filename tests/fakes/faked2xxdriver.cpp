#include "faked2xxdriver.h"

#include <algorithm>
#include <cstring>

namespace {

// The type the vendor driver reports for the FT232R family; the link only prints it.
constexpr quint32 fakeDeviceType = 5;
constexpr quint32 flagOpened = 1;

void copyText(char *to, int size, const QByteArray &text)
{
    const int n = std::min(size - 1, int(text.size()));
    std::memcpy(to, text.constData(), size_t(n));
    std::memset(to + n, 0, size_t(size - n));
}

} // namespace

int FakeD2xxDriver::addDevice(const FakeUsbDevice &device)
{
    devices.append(device);
    return devices.size() - 1;
}

FakeUsbDevice &FakeD2xxDriver::device(int index)
{
    Q_ASSERT(index >= 0 && index < devices.size());
    return devices[index];
}

void FakeD2xxDriver::unplug(int index)
{
    device(index).unplugged = true;
}

QList<int> FakeD2xxDriver::enumerate() const
{
    QList<int> present;
    for (int i = 0; i < devices.size(); ++i) {
        if (!devices[i].unplugged)
            present.append(i);
    }
    return present;
}

QList<int> FakeD2xxDriver::currentList() const
{
    return listCreated ? listed : enumerate();
}

int FakeD2xxDriver::deviceOf(FT_HANDLE handle) const
{
    return handles.value(handle, -1);
}

QString FakeD2xxDriver::deviceLabel(FT_HANDLE handle) const
{
    const int index = deviceOf(handle);
    return index < 0 ? QStringLiteral("?") : QString::number(index);
}

FT_HANDLE FakeD2xxDriver::handleOf(int deviceIndex) const
{
    return handles.key(deviceIndex, nullptr);
}

void FakeD2xxDriver::fillNode(int deviceIndex, int listIndex, FT_DEVICE_LIST_INFO_NODE &node) const
{
    const FakeUsbDevice &d = devices[deviceIndex];
    node.Flags = d.open ? flagOpened : 0;
    node.Type = fakeDeviceType;
    node.ID = d.id;
    node.LocId = quint32(0x100 + listIndex);
    copyText(node.SerialNumber, sizeof node.SerialNumber, d.serialNumber);
    copyText(node.Description, sizeof node.Description, d.description);
    node.ftHandle = handleOf(deviceIndex);
}

FT_STATUS FakeD2xxDriver::createDeviceInfoList(quint32 *numDevs)
{
    calls << QStringLiteral("CreateDeviceInfoList");
    if (createListStatus != FT_OK)
        return createListStatus;
    listed = enumerate();
    listCreated = true;
    *numDevs = quint32(listed.size());
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs)
{
    calls << QStringLiteral("GetDeviceInfoList");
    if (getListStatus != FT_OK)
        return getListStatus;
    const QList<int> current = currentList();
    for (int i = 0; i < current.size(); ++i)
        fillNode(current[i], i, list[i]);
    *numDevs = quint32(current.size());
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::getDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id,
                                              quint32 *locId, char *serialNumber, char *description,
                                              FT_HANDLE *handle)
{
    calls << QStringLiteral("GetDeviceInfoDetail %1").arg(index);
    if (detailStatus != FT_OK)
        return detailStatus;
    const QList<int> current = currentList();
    if (index >= quint32(current.size()))
        return FT_DEVICE_NOT_FOUND;
    FT_DEVICE_LIST_INFO_NODE node;
    fillNode(current[int(index)], int(index), node);
    *flags = node.Flags;
    *type = node.Type;
    *id = node.ID;
    *locId = node.LocId;
    std::memcpy(serialNumber, node.SerialNumber, sizeof node.SerialNumber);
    std::memcpy(description, node.Description, sizeof node.Description);
    *handle = node.ftHandle;
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::open(int index, FT_HANDLE *handle)
{
    calls << QStringLiteral("Open %1").arg(index);
    const QList<int> current = currentList();
    if (index < 0 || index >= current.size())
        return FT_DEVICE_NOT_FOUND;
    FakeUsbDevice &d = devices[current[index]];
    if (d.refuseOpen || d.unplugged || d.open)
        return FT_DEVICE_NOT_OPENED;
    d.open = true;
    // Fresh values per open, never reused, so a stale handle is told from a live one.
    *handle = reinterpret_cast<FT_HANDLE>(nextHandle);
    nextHandle += 0x10;
    handles.insert(*handle, current[index]);
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::setBaudRate(FT_HANDLE handle, quint32 baudRate)
{
    calls << QStringLiteral("SetBaudRate %1 %2").arg(deviceLabel(handle)).arg(baudRate);
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    FakeUsbDevice &d = devices[index];
    if (d.baudStatus == FT_OK)
        d.baudRate = baudRate;
    return d.baudStatus;
}

FT_STATUS FakeD2xxDriver::setDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits,
                                                 quint8 parity)
{
    calls << QStringLiteral("SetDataCharacteristics %1 %2 %3 %4")
                 .arg(deviceLabel(handle))
                 .arg(wordLength)
                 .arg(stopBits)
                 .arg(parity);
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    FakeUsbDevice &d = devices[index];
    if (d.dataCharacteristicsStatus == FT_OK) {
        d.wordLength = wordLength;
        d.stopBits = stopBits;
        d.parity = parity;
    }
    return d.dataCharacteristicsStatus;
}

FT_STATUS FakeD2xxDriver::getQueueStatus(FT_HANDLE handle, quint32 *rxBytes)
{
    calls << QStringLiteral("GetQueueStatus %1").arg(deviceLabel(handle));
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    const FakeUsbDevice &d = devices[index];
    if (d.unplugged)
        return FT_DEVICE_GONE;
    *rxBytes = quint32(d.rxWaiting.size());
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    calls << QStringLiteral("Read %1 %2").arg(deviceLabel(handle)).arg(bytesToRead);
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    FakeUsbDevice &d = devices[index];
    if (d.unplugged)
        return FT_DEVICE_GONE;
    const int n = int(std::min(bytesToRead, quint32(d.rxWaiting.size())));
    std::memcpy(buffer, d.rxWaiting.constData(), size_t(n));
    d.rxWaiting.remove(0, n);
    *bytesReturned = quint32(n);
    return FT_OK;
}

FT_STATUS FakeD2xxDriver::write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                                quint32 *bytesWritten)
{
    calls << QStringLiteral("Write %1 %2").arg(deviceLabel(handle)).arg(bytesToWrite);
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    FakeUsbDevice &d = devices[index];
    if (d.unplugged)
        return FT_DEVICE_GONE;
    FT_STATUS status = FT_OK;
    quint32 accepted = bytesToWrite;
    if (!d.writeScript.isEmpty()) {
        const QPair<FT_STATUS, int> step = d.writeScript.takeFirst();
        status = step.first;
        if (step.second >= 0)
            accepted = std::min(accepted, quint32(step.second));
    }
    d.written.append(static_cast<const char *>(buffer), int(accepted));
    *bytesWritten = accepted;
    return status;
}

FT_STATUS FakeD2xxDriver::close(FT_HANDLE handle)
{
    calls << QStringLiteral("Close %1").arg(deviceLabel(handle));
    const int index = deviceOf(handle);
    if (index < 0)
        return FT_INVALID_HANDLE;
    FakeUsbDevice &d = devices[index];
    if (d.closeStatus != FT_OK)
        return d.closeStatus;
    d.open = false;
    handles.remove(handle);
    return FT_OK;
}

FakeD2xxScope::FakeD2xxScope()
{
    auto driver = std::make_unique<FakeD2xxDriver>();
    fake = driver.get();
    previous = installD2xxDriver(std::move(driver));
}

FakeD2xxScope::~FakeD2xxScope()
{
    // What comes back is the fake itself; it goes with the returned pointer.
    installD2xxDriver(std::move(previous));
}
