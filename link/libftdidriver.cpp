#include "libftdidriver.h"

#include <ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

constexpr int vendorId = 0x0403;
// The bus master and the vtap device. libftdi matches only its own default product ids when given
// 0/0, so each id is asked for explicitly.
constexpr int productIds[] = {0xEF50, 0xEF51};

// The poll tick runs on the GUI thread every 50 ms: a read of what the chip holds must come back
// within a few ms. The chip answers an IN request at once when it has a full packet and otherwise
// after its latency timer, hence the short latency.
constexpr unsigned int drainTimeoutMs = 5;
constexpr unsigned char latencyTimerMs = 2;
// A frame is a few dozen bytes and the chip's transmit buffer takes it at once; only a stalled
// device makes a write wait this long.
constexpr int writeTimeoutMs = 1000;
constexpr unsigned int presenceProbeTimeoutMs = 100;
constexpr int drainChunk = 4096;
// The link takes at most 4096 bytes per tick; past this the chip is left to hold the rest.
constexpr int rxQueueLimit = 16 * drainChunk;
// What the vendor's driver reports as the type of a chip it does not know; we do not ask.
constexpr quint32 unknownChipType = 3;
constexpr quint32 flagOpened = 1;

void copyText(char *to, int size, const QByteArray &text)
{
    const int n = std::min(size - 1, int(text.size()));
    std::memcpy(to, text.constData(), size_t(n));
    std::memset(to + n, 0, size_t(size - n));
}

struct FtdiContextFree
{
    void operator()(ftdi_context *ftdi) const { ftdi_free(ftdi); }
};
using FtdiContextPtr = std::unique_ptr<ftdi_context, FtdiContextFree>;

struct DeviceListFree
{
    void operator()(ftdi_device_list *list) const { ftdi_list_free2(list); }
};
using DeviceListPtr = std::unique_ptr<ftdi_device_list, DeviceListFree>;

// Devices with the given ids seen by this context; empty when libusb cannot list (no USB at all).
DeviceListPtr findDevices(ftdi_context *ftdi, int productId)
{
    ftdi_device_list *list = nullptr;
    // A failed search may still have built part of the list; it is freed with the rest.
    ftdi_usb_find_all(ftdi, &list, vendorId, productId);
    return DeviceListPtr(list);
}

} // namespace

LibFtdiDriver::~LibFtdiDriver()
{
    for (const std::unique_ptr<OpenDevice> &device : openDevices) {
        ftdi_usb_close(device->ftdi);
        ftdi_free(device->ftdi);
    }
}

// FT_HANDLE is the driver's opaque handle type; spelling it as a pointer to const would hide that.
// cppcheck-suppress constParameter
LibFtdiDriver::OpenDevice *LibFtdiDriver::openDevice(FT_HANDLE handle) const
{
    for (const std::unique_ptr<OpenDevice> &device : openDevices) {
        if (device.get() == handle)
            return device.get();
    }
    return nullptr;
}

FT_HANDLE LibFtdiDriver::handleAt(const ListedDevice &listedDevice) const
{
    for (const std::unique_ptr<OpenDevice> &device : openDevices) {
        if (device->bus == listedDevice.bus && device->address == listedDevice.address)
            return device.get();
    }
    return nullptr;
}

FT_STATUS LibFtdiDriver::createDeviceInfoList(quint32 *numDevs)
{
    listed.clear();
    *numDevs = 0;
    // Without a usable USB stack (a container, no permission to list) there is simply no device.
    FtdiContextPtr ftdi(ftdi_new());
    if (!ftdi)
        return FT_OK;
    for (int productId : productIds) {
        const DeviceListPtr devices = findDevices(ftdi.get(), productId);
        for (ftdi_device_list *entry = devices.get(); entry; entry = entry->next) {
            ListedDevice device;
            device.vendorId = vendorId;
            device.productId = quint16(productId);
            device.bus = libusb_get_bus_number(entry->dev);
            device.address = libusb_get_device_address(entry->dev);
            char description[64] = {};
            char serial[16] = {};
            // The strings need the device opened; one held by another program may refuse.
            if (ftdi_usb_get_strings(ftdi.get(), entry->dev, nullptr, 0, description, sizeof description,
                                     serial, sizeof serial) == 0) {
                device.description = QByteArray(description, int(strnlen(description, sizeof description)));
                device.serialNumber = QByteArray(serial, int(strnlen(serial, sizeof serial)));
            }
            listed.append(device);
        }
    }
    *numDevs = quint32(listed.size());
    return FT_OK;
}

void LibFtdiDriver::fillNode(int index, FT_DEVICE_LIST_INFO_NODE &node) const
{
    const ListedDevice &device = listed[index];
    node.ftHandle = handleAt(device);
    node.Flags = node.ftHandle ? flagOpened : 0;
    node.Type = unknownChipType;
    node.ID = quint32(device.vendorId) << 16 | device.productId;
    node.LocId = quint32(device.bus) << 8 | device.address;
    copyText(node.SerialNumber, sizeof node.SerialNumber, device.serialNumber);
    copyText(node.Description, sizeof node.Description, device.description);
}

FT_STATUS LibFtdiDriver::getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs)
{
    for (int i = 0; i < listed.size(); ++i)
        fillNode(i, list[i]);
    *numDevs = quint32(listed.size());
    return FT_OK;
}

FT_STATUS LibFtdiDriver::getDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id,
                                             quint32 *locId, char *serialNumber, char *description,
                                             FT_HANDLE *handle)
{
    if (index >= quint32(listed.size()))
        return FT_DEVICE_NOT_FOUND;
    FT_DEVICE_LIST_INFO_NODE node;
    fillNode(int(index), node);
    *flags = node.Flags;
    *type = node.Type;
    *id = node.ID;
    *locId = node.LocId;
    std::memcpy(serialNumber, node.SerialNumber, sizeof node.SerialNumber);
    std::memcpy(description, node.Description, sizeof node.Description);
    *handle = node.ftHandle;
    return FT_OK;
}

FT_STATUS LibFtdiDriver::open(int index, FT_HANDLE *handle)
{
    if (index < 0 || index >= listed.size())
        return FT_DEVICE_NOT_FOUND;
    const ListedDevice &wanted = listed[index];
    if (handleAt(wanted))
        return FT_DEVICE_NOT_OPENED;
    // Each open device has a context of its own, so closing one never touches another.
    FtdiContextPtr ftdi(ftdi_new());
    if (!ftdi)
        return FT_DEVICE_NOT_FOUND;
    // Give the kernel's serial driver the device back on close, so its serial port reappears.
    ftdi->module_detach_mode = AUTO_DETACH_REATACH_SIO_MODULE;

    const DeviceListPtr devices = findDevices(ftdi.get(), wanted.productId);
    libusb_device *found = nullptr;
    for (ftdi_device_list *entry = devices.get(); entry && !found; entry = entry->next) {
        if (libusb_get_bus_number(entry->dev) == wanted.bus &&
            libusb_get_device_address(entry->dev) == wanted.address)
            found = entry->dev;
    }
    if (!found)
        return FT_DEVICE_NOT_FOUND;
    // Fails when another program (or the kernel driver, without permission to detach it) holds it.
    if (ftdi_usb_open_dev(ftdi.get(), found) != 0)
        return FT_DEVICE_NOT_OPENED;
    ftdi->usb_write_timeout = writeTimeoutMs;
    ftdi_set_latency_timer(ftdi.get(), latencyTimerMs); // best effort: only the delivery delay depends on it

    auto device = std::make_unique<OpenDevice>();
    device->ftdi = ftdi.release();
    device->bus = wanted.bus;
    device->address = wanted.address;
    *handle = device.get();
    openDevices.push_back(std::move(device));
    return FT_OK;
}

FT_STATUS LibFtdiDriver::setBaudRate(FT_HANDLE handle, quint32 baudRate)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    if (baudRate == 0 || baudRate > quint32(std::numeric_limits<int>::max()))
        return FT_INVALID_PARAMETER;
    if (ftdi_set_baudrate(device->ftdi, int(baudRate)) != 0)
        return deviceGone(*device) ? FT_DEVICE_GONE : FT_OTHER_ERROR;
    return FT_OK;
}

FT_STATUS LibFtdiDriver::setDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits,
                                                quint8 parity)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    // The driver's codes: 7 or 8 data bits; stop bits 0 = one, 2 = two; parity 0 none .. 4 space,
    // which are also libftdi's values.
    if ((wordLength != BITS_7 && wordLength != BITS_8) ||
        (stopBits != STOP_BIT_1 && stopBits != STOP_BIT_2) || parity > SPACE)
        return FT_INVALID_PARAMETER;
    if (ftdi_set_line_property(device->ftdi, ftdi_bits_type(wordLength), ftdi_stopbits_type(stopBits),
                               ftdi_parity_type(parity)) != 0)
        return deviceGone(*device) ? FT_DEVICE_GONE : FT_OTHER_ERROR;
    return FT_OK;
}

FT_STATUS LibFtdiDriver::drainChip(OpenDevice &device)
{
    if (device.rxQueue.size() >= rxQueueLimit)
        return FT_OK;
    ftdi_context *ftdi = device.ftdi;
    const int packetSize = ftdi->max_packet_size > 2 ? int(ftdi->max_packet_size) : 64;
    unsigned char raw[drainChunk];
    const int wanted = std::max(packetSize, drainChunk / packetSize * packetSize);
    int transferred = 0;
    // libftdi's own read drops what a timed-out transfer had already delivered; libusb reports it.
    const int rc = libusb_bulk_transfer(ftdi->usb_dev, static_cast<unsigned char>(ftdi->out_ep), raw, wanted,
                                        &transferred, drainTimeoutMs);
    if (rc == LIBUSB_ERROR_NO_DEVICE)
        return FT_DEVICE_GONE;
    // Every packet from the chip starts with two modem-status bytes.
    for (int at = 0; at < transferred; at += packetSize) {
        const int end = std::min(at + packetSize, transferred);
        if (end - at > 2)
            device.rxQueue.append(reinterpret_cast<const char *>(raw + at + 2), end - at - 2);
    }
    // A halted endpoint stays halted until the host clears it: this poll fails, the next one reads.
    if (rc == LIBUSB_ERROR_PIPE)
        libusb_clear_halt(ftdi->usb_dev, static_cast<unsigned char>(ftdi->out_ep));
    if (rc != 0 && rc != LIBUSB_ERROR_TIMEOUT)
        return FT_OTHER_ERROR;
    return FT_OK;
}

bool LibFtdiDriver::deviceGone(OpenDevice &device)
{
    // libftdi turns every failure into -1; ask the chip for its modem status to get libusb's answer.
    unsigned char status[2];
    const int rc = libusb_control_transfer(device.ftdi->usb_dev, FTDI_DEVICE_IN_REQTYPE,
                                           SIO_POLL_MODEM_STATUS_REQUEST, 0, quint16(device.ftdi->index),
                                           status, sizeof status, presenceProbeTimeoutMs);
    return rc == LIBUSB_ERROR_NO_DEVICE;
}

FT_STATUS LibFtdiDriver::getQueueStatus(FT_HANDLE handle, quint32 *rxBytes)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    const FT_STATUS status = drainChip(*device);
    if (status != FT_OK)
        return status;
    *rxBytes = quint32(device->rxQueue.size());
    return FT_OK;
}

FT_STATUS LibFtdiDriver::read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    *bytesReturned = 0;
    if (quint32(device->rxQueue.size()) < bytesToRead) {
        const FT_STATUS status = drainChip(*device);
        if (status != FT_OK && device->rxQueue.isEmpty())
            return status;
    }
    const int n = int(std::min(bytesToRead, quint32(device->rxQueue.size())));
    std::memcpy(buffer, device->rxQueue.constData(), size_t(n));
    device->rxQueue.remove(0, n);
    *bytesReturned = quint32(n);
    return FT_OK;
}

FT_STATUS LibFtdiDriver::write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                               quint32 *bytesWritten)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    *bytesWritten = 0;
    if (bytesToWrite > quint32(std::numeric_limits<int>::max()))
        return FT_INVALID_PARAMETER;
    const int written =
        ftdi_write_data(device->ftdi, static_cast<const unsigned char *>(buffer), int(bytesToWrite));
    if (written < 0)
        return deviceGone(*device) ? FT_DEVICE_GONE : FT_OTHER_ERROR;
    *bytesWritten = quint32(written);
    return FT_OK;
}

FT_STATUS LibFtdiDriver::close(FT_HANDLE handle)
{
    OpenDevice *device = openDevice(handle);
    if (!device)
        return FT_INVALID_HANDLE;
    // Releasing the interface of an unplugged device fails, but the handle and the context are
    // freed all the same; nothing is left that a second close could release.
    ftdi_usb_close(device->ftdi);
    ftdi_free(device->ftdi);
    openDevices.erase(
        std::find_if(openDevices.begin(), openDevices.end(),
                     [device](const std::unique_ptr<OpenDevice> &open) { return open.get() == device; }));
    return FT_OK;
}

std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver()
{
    return std::make_unique<LibFtdiDriver>();
}
