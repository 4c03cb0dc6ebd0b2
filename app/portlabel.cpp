#include "portlabel.h"

#include "shownurl.h"

namespace {

QString baseText(const QUrl &url)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("usb"))
        return QStringLiteral("USB");
    // The serial port's name, or the Ethernet module's address.
    if (scheme == QLatin1String("serial") || scheme == QLatin1String("udp") || scheme == QLatin1String("tcp"))
        return url.host();
    return shownUrl(url);
}

QString suffix(int moduleType)
{
    if (moduleType == vtapModuleType)
        return QStringLiteral(" (vtap)");
    if (moduleType == ntx07ModuleType)
        return QStringLiteral(" (ntx07)");
    return QStringLiteral(" (kvmx)");
}

} // namespace

QString portLabel(const PortEntry &entry)
{
    return baseText(entry.url) + suffix(entry.moduleType);
}

bool listedAtTop(const PortEntry &entry)
{
    return entry.moduleType == vtapModuleType;
}
