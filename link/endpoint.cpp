#include "endpoint.h"

#include "portentry.h"
#include "shownurl.h"

#include <QUrlQuery>

Endpoint::Endpoint(const QUrl &url)
    : value(url)
{
    // The URL parser has folded the scheme to lower case already.
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("usb"))
        transport = Usb;
    else if (scheme == QLatin1String("serial"))
        transport = Serial;
    else if (scheme == QLatin1String("udp"))
        transport = Udp;
    else if (scheme == QLatin1String("tcp"))
        transport = Tcp;
}

Endpoint Endpoint::ethernet(Kind kind, const QString &host, quint16 port, const QString &user,
                            const QString &password)
{
    QUrl made;
    made.setScheme(kind == Tcp ? QStringLiteral("tcp") : QStringLiteral("udp"));
    made.setHost(host, QUrl::StrictMode);
    if (!made.isValid() || made.host().isEmpty())
        return Endpoint();
    made.setPort(port);
    if (!user.isEmpty())
        made.setUserName(user);
    if (!password.isEmpty())
        made.setPassword(password);
    return Endpoint(made);
}

Endpoint Endpoint::serialPort(const QString &portName, int baud)
{
    QUrl made(QStringLiteral("serial://x?baud=") + QString::number(baud));
    made.setHost(portName);
    return Endpoint(made);
}

Endpoint Endpoint::serialDevice(const QString &path, int baud)
{
    // serial:///dev/ttyUSB0: an empty host, the device's path.
    const QUrl made(QStringLiteral("serial://") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/")) +
                        QStringLiteral("?baud=") + QString::number(baud),
                    QUrl::StrictMode);
    if (!made.isValid() || made.path() != path)
        return Endpoint();
    return Endpoint(made);
}

Endpoint Endpoint::usb(quint16 vendorId, quint16 productId)
{
    return Endpoint(QUrl(QStringLiteral("usb://localhost?vid=%1&pid=%2").arg(vendorId).arg(productId)));
}

QString Endpoint::host() const
{
    // A serial device the system does not list is named by its path: serial:///dev/pts/3.
    if (namedByPath())
        return value.path();
    return value.host();
}

quint16 Endpoint::port() const
{
    return isEthernet() ? quint16(value.port(ethModulePort)) : 0;
}

bool Endpoint::namedByPath() const
{
    return transport == Serial && value.host().isEmpty();
}

int Endpoint::baud() const
{
    return transport == Serial ? QUrlQuery(value).queryItemValue(QStringLiteral("baud")).toInt() : 0;
}

bool Endpoint::hasUsbIds() const
{
    return transport == Usb && !QUrlQuery(value).isEmpty();
}

quint16 Endpoint::vendorId() const
{
    return transport == Usb ? quint16(QUrlQuery(value).queryItemValue(QStringLiteral("vid")).toInt()) : 0;
}

quint16 Endpoint::productId() const
{
    return transport == Usb ? quint16(QUrlQuery(value).queryItemValue(QStringLiteral("pid")).toInt()) : 0;
}

int Endpoint::moduleType() const
{
    if (isEthernet())
        return ntx07ModuleType;
    return productId() == vtapProductId ? vtapModuleType : kvmxModuleType;
}

QString Endpoint::shownUrl() const
{
    return ::shownUrl(value);
}

bool Endpoint::sameEndpoint(const Endpoint &other) const
{
    const auto bare = [](const Endpoint &endpoint) {
        QUrl plain = endpoint.value.adjusted(QUrl::RemovePassword);
        if (endpoint.isEthernet())
            plain.setPort(endpoint.port());
        return plain;
    };
    return transport == other.transport && bare(*this) == bare(other);
}
