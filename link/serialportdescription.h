#ifndef SERIALPORTDESCRIPTION_H
#define SERIALPORTDESCRIPTION_H

#include <QList>
#include <QString>
#include <functional>

// What the link needs to know of one serial port present on the system. QSerialPortInfo does not
// list pseudo-terminals, so the list is replaceable (tests offer a pty pair under a port name).
struct SerialPortDescription
{
    QString portName;       // the name matched against a serial:// URL's host, e.g. ttyUSB0 or COM3
    QString systemLocation; // what QSerialPort opens, e.g. /dev/ttyUSB0
    bool hasVendorIdentifier = false;
    quint16 vendorIdentifier = 0;
    quint16 productIdentifier = 0;
};

using SerialPortLister = std::function<QList<SerialPortDescription>()>;

// The serial ports present, in the system's order (QSerialPortInfo::availablePorts() unless a
// lister was installed with setSerialPortLister()).
QList<SerialPortDescription> availableSerialPorts();
// Installs a replacement list; an empty function restores the system's list.
void setSerialPortLister(SerialPortLister lister);

#endif // SERIALPORTDESCRIPTION_H
