#include "portlabel.h"

#include "buscodes.h"
#include "endpoint.h"

namespace {

QString baseText(const QUrl &url)
{
    const Endpoint endpoint(url);
    switch (endpoint.kind()) {
    case Endpoint::Usb:
        return QStringLiteral("USB");
    case Endpoint::Serial: // the serial port's name, or the device path of one the system does not list
        return endpoint.host();
    case Endpoint::Udp:
    case Endpoint::Tcp:
        // The Ethernet module's address; a port other than the module port tells two modules (or two
        // simulators) of one host apart.
        if (endpoint.port() == ethModulePort)
            return endpoint.host();
        return url.adjusted(QUrl::RemoveUserInfo).authority(); // an IPv6 address in brackets
    case Endpoint::Unknown:
        break;
    }
    return endpoint.shownUrl();
}

QString suffix(const PortEntry &entry)
{
    if (entry.moduleType == vtapModuleType)
        return QStringLiteral(" (vtap)");
    // Over TCP the same module is a second entry of its own.
    if (entry.moduleType == ntx07ModuleType)
        return Endpoint(entry.url).kind() == Endpoint::Tcp ? QStringLiteral(" (ntx07, TCP)")
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
