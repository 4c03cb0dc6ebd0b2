#ifndef ENDPOINT_H
#define ENDPOINT_H

#include "buscodes.h"

#include <QString>
#include <QUrl>

// One endpoint through which the bus is reached, as a value: its transport, the host (an Ethernet
// module's address; a serial port's name, or the device path of one the system does not list),
// the port, the baud rate, the USB ids, the user and, for this run only, the password. Made from an
// endpoint URL; gives the URL the link opens, the URL shown to people (without the password), and
// compares endpoints the way a person does (the password and a default port make no difference).
// The endpoints that this program names itself (discovery, Connect to...) are made here as well.
class Endpoint
{
public:
    enum Kind { Unknown, Usb, Serial, Udp, Tcp };

    Endpoint() = default;
    // Any URL; one of another scheme is of kind Unknown. A URL that does not parse keeps the kind its
    // scheme names, but is not valid.
    explicit Endpoint(const QUrl &url);

    // An Ethernet interface module (kind Udp or Tcp) at a host name or IP address, with the user and
    // password when given; not valid when host names no host.
    static Endpoint ethernet(Kind kind, const QString &host, quint16 port, const QString &user = QString(),
                             const QString &password = QString());
    // A serial port by the name the system lists it under (ttyUSB0, COM3), at baud.
    static Endpoint serialPort(const QString &portName, int baud);
    // A serial device by its path (/dev/ttyUSB0, a pseudo-terminal), at baud; not valid when the path
    // does not survive in a URL.
    static Endpoint serialDevice(const QString &path, int baud);
    // A USB device model by its ids: the URL names the model, not one device.
    static Endpoint usb(quint16 vendorId, quint16 productId);

    Kind kind() const { return transport; }
    bool isValid() const { return transport != Unknown && value.isValid(); }
    bool isEthernet() const { return transport == Udp || transport == Tcp; }
    QString host() const;
    quint16 port() const; // Ethernet: the URL's port, else the module port; 0 otherwise
    // Serial: the port is named by its device path (the URL has no host); host() gives the path.
    bool namedByPath() const;
    int baud() const;          // serial: the URL's baud rate; 0 when missing or unreadable
    bool hasUsbIds() const;    // USB: the URL has a query, where the vid and pid are read
    quint16 vendorId() const;  // USB: the vid of the URL, cut to 16 bits; 0 when missing
    quint16 productId() const; // USB: the pid of the URL, cut to 16 bits; 0 when missing
    QString userName() const { return value.userName(); }
    QString password() const { return value.password(); }
    // The module-type number of the device behind it: the vtap device (21) by its USB product id,
    // the Ethernet interface module (44), else the bus master (0).
    int moduleType() const;

    QUrl url() const { return value; }
    QString shownUrl() const;
    bool sameEndpoint(const Endpoint &other) const;

private:
    QUrl value;
    Kind transport = Unknown;
};

#endif // ENDPOINT_H
