#ifndef SERIALPORTNAME_H
#define SERIALPORTNAME_H

#include <QString>

// How a user names a serial port that the system's list does not show. On Windows that is a COM
// port's name: a virtual or newly plugged adapter is often missing from the list yet opens by its
// name. Elsewhere it is the device's path (/dev/ttyUSB0, a pseudo-terminal).
class SerialPortName
{
public:
    // For a name that the system opens without a listing (COM1 to COM256 on Windows, in any case):
    // true, with the name as the system spells it (COM5) and the device that opens it (\\.\COM5,
    // the form the ports from COM10 on need). False for any other name, and everywhere but Windows.
    static bool unlisted(const QString &name, QString &portName, QString &systemLocation);

    // Whether a port the list does not show is given by its device path (not on Windows).
    static bool byPath();

    // An example of a port as the user types it: "/dev/ttyUSB0", or "COM3" on Windows.
    static QString example();

    // An example of a port as a serial:// URL's host names it: "ttyUSB0", or "COM3" on Windows.
    static QString exampleName();
};

#endif // SERIALPORTNAME_H
