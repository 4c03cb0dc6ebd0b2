#include "portlabel.h"

#include "mydiftdi.h"
#include "shownurl.h"

namespace {

QString baseText(const QUrl &url)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("usb"))
        return QStringLiteral("USB");
    // The serial port's name, or the device path of one that the system does not list.
    if (scheme == QLatin1String("serial"))
        return url.host().isEmpty() ? url.path() : url.host();
    // The Ethernet module's address; a port other than the module port tells two modules (or two
    // simulators) of one host apart.
    if (scheme == QLatin1String("udp") || scheme == QLatin1String("tcp")) {
        if (url.port(MyDiFtdi::defaultEthPort) == MyDiFtdi::defaultEthPort)
            return url.host();
        return url.adjusted(QUrl::RemoveUserInfo).authority(); // an IPv6 address in brackets
    }
    return shownUrl(url);
}

QString suffix(const PortEntry &entry)
{
    if (entry.moduleType == vtapModuleType)
        return QStringLiteral(" (vtap)");
    // Over TCP the same module is a second entry of its own.
    if (entry.moduleType == ntx07ModuleType)
        return entry.url.scheme() == QLatin1String("tcp") ? QStringLiteral(" (ntx07, TCP)")
                                                          : QStringLiteral(" (ntx07)");
    return QStringLiteral(" (kvmx)");
}

} // namespace

QString portLabel(const PortEntry &entry)
{
    return baseText(entry.url) + suffix(entry);
}

bool listedAtTop(const PortEntry &entry)
{
    return entry.moduleType == vtapModuleType;
}
