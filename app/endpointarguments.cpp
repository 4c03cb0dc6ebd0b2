#include "endpointarguments.h"

#include "shownurl.h"

#include <QUrlQuery>

namespace {

bool isKnownScheme(const QString &scheme)
{
    return scheme == QLatin1String("usb") || scheme == QLatin1String("serial") ||
           scheme == QLatin1String("udp") || scheme == QLatin1String("tcp");
}

} // namespace

EndpointArguments parseEndpointArguments(const QStringList &arguments)
{
    EndpointArguments parsed;
    for (const QString &argument : arguments) {
        // Strict: the link parses the same text strictly when it opens the endpoint.
        const QUrl url(argument, QUrl::StrictMode);
        if (argument.isEmpty() || !url.isValid()) {
            parsed.rejections
                << QStringLiteral("Invalid endpoint URL skipped: \"%1\"").arg(shownUrl(argument));
        } else if (!isKnownScheme(url.scheme())) {
            parsed.rejections << QStringLiteral("Endpoint URL with unknown scheme skipped (use usb, serial, "
                                                "udp or tcp): \"%1\"")
                                     .arg(shownUrl(argument));
        } else {
            parsed.endpoints << url;
        }
    }
    return parsed;
}

QString jobEndpointProblem(const QString &argument)
{
    const QUrl url(argument, QUrl::StrictMode);
    if (argument.isEmpty())
        return QStringLiteral("no endpoint URL given");
    if (!url.isValid()) {
        // Qt's reason comes first; what follows it quotes the URL, password included.
        QString reason = url.errorString().section(QLatin1String("; source was"), 0, 0);
        if (!reason.isEmpty())
            reason[0] = reason.at(0).toLower();
        return QStringLiteral("invalid endpoint URL \"%1\": %2").arg(shownUrl(argument), reason);
    }
    if (!isKnownScheme(url.scheme()))
        return QStringLiteral("endpoint URL \"%1\" has an unknown scheme (use usb, serial, udp or tcp)")
            .arg(shownUrl(argument));
    return QString();
}

PortEntry endpointEntry(const QUrl &url)
{
    const QString scheme = url.scheme();
    if (scheme == QLatin1String("udp") || scheme == QLatin1String("tcp"))
        return {url, ntx07ModuleType};
    const bool vtap = scheme == QLatin1String("usb") &&
                      QUrlQuery(url).queryItemValue(QStringLiteral("pid")).toInt() == vtapProductId;
    return {url, vtap ? vtapModuleType : kvmxModuleType};
}
