#ifndef PORTENTRY_H
#define PORTENTRY_H

#include <QList>
#include <QUrl>

// Endpoint kinds that discovery can look for; combine them as a bit mask.
enum PortMask : int {
    PortUsbKvmx = 1, // USB bus master, product id 0xEF50
    PortSerial = 2,  // serial ports of USB converters 0403:EF50 / 0403:EF51
    PortUdp = 4,     // Ethernet interface modules answering the UDP probe
    PortUsbVtap = 8, // USB vtap device, product id 0xEF51
};

// The USB bus devices: the bus master (KVMX) and the vtap device, both behind an FTDI converter.
constexpr quint16 ftdiVendorId = 0x0403;
constexpr quint16 kvmxProductId = 0xEF50;
constexpr quint16 vtapProductId = 0xEF51;

// Module-type numbers of the interface devices that tag the endpoints.
constexpr int kvmxModuleType = 0;
constexpr int vtapModuleType = 21;
constexpr int ntx07ModuleType = 44;

// The line speeds of the bus master and of the vtap device, over USB or as a serial port.
constexpr int kvmxBaudRate = 38400;
constexpr int vtapBaudRate = 115200;

// One endpoint found by discovery, tagged with the module-type number of the device behind it
// (0 bus master, 21 vtap device, 44 Ethernet interface module).
struct PortEntry
{
    QUrl url;
    int moduleType = 0;
};

#endif // PORTENTRY_H
