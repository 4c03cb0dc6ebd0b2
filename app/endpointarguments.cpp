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

PortEntry endpointEntry(const QUrl &url)
{
    return {url, Endpoint(url).moduleType()};
}
