#include "serialportdescription.h"

#include <QSerialPortInfo>

namespace {

SerialPortLister &installedLister()
{
    static SerialPortLister lister;
    return lister;
}

QList<SerialPortDescription> systemSerialPorts()
{
    QList<SerialPortDescription> ports;
    const QList<QSerialPortInfo> infos = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo &info : infos) {
        SerialPortDescription port;
        port.portName = info.portName();
        port.systemLocation = info.systemLocation();
        port.hasVendorIdentifier = info.hasVendorIdentifier();
        port.vendorIdentifier = info.vendorIdentifier();
        port.productIdentifier = info.productIdentifier();
        ports.append(port);
    }
    return ports;
}

} // namespace

QList<SerialPortDescription> availableSerialPorts()
{
    const SerialPortLister &lister = installedLister();
    return lister ? lister() : systemSerialPorts();
}

void setSerialPortLister(SerialPortLister lister)
{
    installedLister() = std::move(lister);
}
