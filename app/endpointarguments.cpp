#include "endpointarguments.h"

#include "endpoint.h"
#include "shownurl.h"

EndpointArguments parseEndpointArguments(const QStringList &arguments)
{
    EndpointArguments parsed;
    for (const QString &argument : arguments) {
        // Strict: the link parses the same text strictly when it opens the endpoint.
        const QUrl url(argument, QUrl::StrictMode);
        if (argument.isEmpty() || !url.isValid()) {
            parsed.rejections
                << QStringLiteral("Invalid endpoint URL skipped: \"%1\"").arg(shownUrl(argument));
        } else if (Endpoint(url).kind() == Endpoint::Unknown) {
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
    if (Endpoint(url).kind() == Endpoint::Unknown)
        return QStringLiteral("endpoint URL \"%1\" has an unknown scheme (use usb, serial, udp or tcp)")
            .arg(shownUrl(argument));
    return QString();
}

PortEntry endpointEntry(const QUrl &url)
{
    return {url, Endpoint(url).moduleType()};
}
