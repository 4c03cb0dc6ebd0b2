#include "endpoint.h"

#include "portentry.h"
#include "shownurl.h"

#include <QUrlQuery>

Endpoint::Endpoint(const QUrl &url)
    : value(url)
{
    if (!url.isValid())
        return;
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

QString Endpoint::host() const
{
    // A serial device the system does not list is named by its path: serial:///dev/pts/3.
    if (transport == Serial && value.host().isEmpty())
        return value.path();
    return value.host();
}

quint16 Endpoint::port() const
{
    return isEthernet() ? quint16(value.port(modulePort)) : 0;
}

int Endpoint::baud() const
{
    return transport == Serial ? QUrlQuery(value).queryItemValue(QStringLiteral("baud")).toInt() : 0;
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
