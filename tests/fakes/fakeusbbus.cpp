// The libusb_* calls that libftdi 1.5 makes for the driver, defined over FakeUsbBus's chips. The
// test executable is linked with ENABLE_EXPORTS (-rdynamic), so they are in its dynamic symbol
// table. The dynamic linker looks each symbol up in the global scope, where the executable comes
// first, before libftdi1.so and the libusb-1.0.so it needs: libftdi's calls bind here and the real
// libusb is never entered. No LD_PRELOAD either, so AddressSanitizer (whose runtime must come first
// in the library list) and valgrind run as usual. Not defined: the asynchronous transfers, event
// handling, configuration change and kernel-driver detach, which none of those calls reach.
#include "fakeusbbus.h"

#include <algorithm>
#include <cstring>

using Chip = FakeUsbBus::Chip;

struct libusb_device_handle
{
    Chip *chip;
    bool claimed = false;
};

namespace {

constexpr int packetSize = 64;
constexpr quint8 inEndpoint = 0x81, outEndpoint = 0x02;
constexpr quint8 vendorIn = 0xC0, pollModemStatus = 5, setBaudRate = 3;
constexpr int portIndex = 1;
const char modemStatus[] = {0x01, 0x60};

// A chip is its own libusb_device: the type is opaque to libusb's callers.
Chip *chipOf(libusb_device *device)
{
    return reinterpret_cast<Chip *>(device);
}

const libusb_endpoint_descriptor bulk[] = {
    {7, LIBUSB_DT_ENDPOINT, inEndpoint, LIBUSB_TRANSFER_TYPE_BULK, packetSize, 0, 0, 0, nullptr, 0},
    {7, LIBUSB_DT_ENDPOINT, outEndpoint, LIBUSB_TRANSFER_TYPE_BULK, packetSize, 0, 0, 0, nullptr, 0}};
// One configuration, one interface (vendor class) with the two bulk endpoints.
const libusb_interface_descriptor alt = {9, LIBUSB_DT_INTERFACE, 0, 0, 2, 255, 255, 255, 0, bulk, nullptr, 0};
const libusb_interface iface = {&alt, 1};
const libusb_config_descriptor config0 = {9, LIBUSB_DT_CONFIG, 32, 1, 1, 0, 0x80, 45, &iface, nullptr, 0};

} // namespace

int libusb_init(libusb_context **context)
{
    *context = reinterpret_cast<libusb_context *>(&++FakeUsbBus::bus->contexts); // opaque to libftdi
    return 0;
}

void libusb_exit(libusb_context *context)
{
    FakeUsbBus::bus->contexts -= context != nullptr;
}

ssize_t libusb_get_device_list(libusb_context *, libusb_device ***list)
{
    QVector<libusb_device *> present;
    for (Chip &chip : FakeUsbBus::bus->chips)
        if (!chip.gone)
            present.push_back(libusb_ref_device(reinterpret_cast<libusb_device *>(&chip)));
    *list = new libusb_device *[present.size() + 1]();
    std::copy(present.begin(), present.end(), *list);
    return ssize_t(present.size());
}

void libusb_free_device_list(libusb_device **list, int unreference)
{
    for (libusb_device **device = list; unreference && *device; ++device)
        libusb_unref_device(*device);
    delete[] list;
}

libusb_device *libusb_ref_device(libusb_device *device)
{
    ++chipOf(device)->references;
    return device;
}

void libusb_unref_device(libusb_device *device)
{
    --chipOf(device)->references;
}

int libusb_get_device_descriptor(libusb_device *device, libusb_device_descriptor *descriptor)
{
    // bcdDevice 0x600: libftdi takes the chip for an FT232R and computes its baud divisors.
    const quint16 productId = chipOf(device)->productId;
    *descriptor = {18, LIBUSB_DT_DEVICE, 0x200, 0, 0, 0, 8, 0x0403, productId, 0x600, 1, 2, 3, 1};
    return 0;
}

int libusb_get_config_descriptor(libusb_device *, uint8_t index, libusb_config_descriptor **config)
{
    *config = const_cast<libusb_config_descriptor *>(&config0);
    return index == 0 ? 0 : LIBUSB_ERROR_NOT_FOUND;
}

void libusb_free_config_descriptor(libusb_config_descriptor *)
{}

uint8_t libusb_get_bus_number(libusb_device *)
{
    return 1;
}

uint8_t libusb_get_device_address(libusb_device *device)
{
    return chipOf(device)->address;
}

int libusb_open(libusb_device *device, libusb_device_handle **handle)
{
    Chip *chip = chipOf(device);
    if (chip->gone)
        return LIBUSB_ERROR_NO_DEVICE;
    ++chip->handles;
    *handle = new libusb_device_handle{chip};
    return 0;
}

void libusb_close(libusb_device_handle *handle)
{
    handle->chip->claims -= handle->claimed; // closing releases what the handle had claimed
    --handle->chip->handles;
    delete handle;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle *handle, uint8_t index, unsigned char *data,
                                       int length)
{
    const QByteArray text = index == 2 ? handle->chip->product : index == 3 ? handle->chip->serial : "FTDI";
    const int n = std::min(length - 1, int(text.size()));
    std::memcpy(data, text.constData(), size_t(n));
    data[n] = 0;
    return n;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle *handle, int)
{
    return handle->chip->gone ? LIBUSB_ERROR_NO_DEVICE : 0;
}

int libusb_get_configuration(libusb_device_handle *handle, int *config)
{
    *config = 1;
    return handle->chip->gone ? LIBUSB_ERROR_NO_DEVICE : 0;
}

int libusb_claim_interface(libusb_device_handle *handle, int number)
{
    Chip *chip = handle->chip;
    if (chip->gone || number != 0 || chip->busy || (chip->claims > 0 && !handle->claimed))
        return chip->gone ? LIBUSB_ERROR_NO_DEVICE : number != 0 ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_BUSY;
    chip->claims += !handle->claimed;
    handle->claimed = true;
    return 0;
}

int libusb_release_interface(libusb_device_handle *handle, int)
{
    handle->chip->claims -= handle->claimed;
    handle->claimed = false;
    return handle->chip->gone ? LIBUSB_ERROR_NO_DEVICE : 0;
}

// Vendor requests to the chip: each is recorded; the modem-status poll answers two status bytes.
// The port index goes in wIndex, except for the baud rate, whose wIndex holds divisor bits.
int libusb_control_transfer(libusb_device_handle *handle, uint8_t type, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char *data, uint16_t length, unsigned int)
{
    Chip *chip = handle->chip;
    if (chip->gone)
        return LIBUSB_ERROR_NO_DEVICE;
    chip->requests << QString::asprintf("%x %04x %d", request, value, index);
    const bool in = type == vendorIn;
    if (chip->requests.last() == chip->refuse || (request != setBaudRate && index != portIndex) ||
        (in && (request != pollModemStatus || length < 2)))
        return LIBUSB_ERROR_PIPE;
    if (in)
        std::memcpy(data, modemStatus, 2);
    return in ? 2 : 0;
}

// A stalled bulk IN endpoint (inResult LIBUSB_ERROR_PIPE) stays stalled until this clears it.
int libusb_clear_halt(libusb_device_handle *handle, unsigned char endpoint)
{
    Chip *chip = handle->chip;
    chip->requests << QStringLiteral("clear halt %1").arg(endpoint, 2, 16, QLatin1Char('0'));
    if (endpoint == inEndpoint && chip->inResult == LIBUSB_ERROR_PIPE)
        chip->inResult = 0;
    return chip->gone ? LIBUSB_ERROR_NO_DEVICE : 0;
}

int libusb_bulk_transfer(libusb_device_handle *handle, unsigned char endpoint, unsigned char *data,
                         int length, int *transferred, unsigned int)
{
    Chip *chip = handle->chip;
    *transferred = 0;
    if (chip->gone || !handle->claimed || (endpoint != inEndpoint && endpoint != outEndpoint))
        return chip->gone ? LIBUSB_ERROR_NO_DEVICE : LIBUSB_ERROR_PIPE;
    int result = chip->inResult;
    if (endpoint == outEndpoint) {
        const auto step = chip->outScript.isEmpty() ? qMakePair(0, length) : chip->outScript.takeFirst();
        *transferred = std::min(length, step.second);
        chip->written.append(reinterpret_cast<const char *>(data), *transferred);
        result = step.first;
    } else if (result != LIBUSB_ERROR_PIPE) {
        // Packets of 64 bytes, each led by the two modem-status bytes, until a short one.
        const QByteArray piece = chip->rx.isEmpty() ? QByteArray() : chip->rx.takeFirst();
        int sent = 0, payload = 0;
        do {
            payload = std::min({packetSize - 2, int(piece.size()) - sent, length - *transferred - 2});
            std::memcpy(data + *transferred, modemStatus, 2);
            std::memcpy(data + *transferred + 2, piece.constData() + sent, size_t(payload));
            *transferred += payload + 2;
            sent += payload;
        } while (payload == packetSize - 2 && length - *transferred >= packetSize);
        if (sent < piece.size())
            chip->rx.prepend(piece.mid(sent));
    }
    chip->gone = result == LIBUSB_ERROR_NO_DEVICE;
    return result;
}
