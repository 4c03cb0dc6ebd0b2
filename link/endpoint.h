#ifndef ENDPOINT_H
#define ENDPOINT_H

#include <QString>
#include <QUrl>

// One endpoint through which the bus is reached, as a value: its transport, the host (an Ethernet
// module's address; a serial port's name, or the device path of one the system does not list),
// the port, the baud rate, the USB ids, the user and, for this run only, the password. Made from an
// endpoint URL; gives the URL the link opens, the URL shown to people (without the password), and
// compares endpoints the way a person does (the password and a default port make no difference).
class Endpoint
{
public:
    enum Kind { Unknown, Usb, Serial, Udp, Tcp };

    // The module port of the Ethernet interface module, where a URL names none.
    static constexpr quint16 modulePort = 17481;

    Endpoint() = default;
    // Any URL; an invalid one, or one of another scheme, is of kind Unknown.
    explicit Endpoint(const QUrl &url);

    Kind kind() const { return transport; }
    bool isEthernet() const { return transport == Udp || transport == Tcp; }
    QString host() const;
    quint16 port() const;      // Ethernet: the URL's port, else the module port; 0 otherwise
    int baud() const;          // serial: the URL's baud rate; 0 when missing or unreadable
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
