#include "shownurl.h"

#include <QRegularExpression>

QString shownUrl(const QUrl &url)
{
    if (!url.isValid())
        return QString(); // Qt gives no text for it either
    // "udp://@host" says nothing more than "udp://host".
    return url.toString(url.userName().isEmpty() ? QUrl::RemoveUserInfo : QUrl::RemovePassword);
}

QString shownUrl(const QString &text)
{
    const QUrl url(text);
    if (url.isValid())
        return shownUrl(url);
    // Text that does not parse (a port out of range) may still carry a password, and the parser's
    // error message quotes it: drop the user information before the host as a whole.
    const int scheme = text.indexOf(QLatin1String("://"));
    const int start = scheme < 0 ? 0 : scheme + 3;
    static const QRegularExpression authorityEnd(QStringLiteral("[/?#]"));
    int end = text.indexOf(authorityEnd, start);
    if (end < 0)
        end = int(text.size());
    const int at = text.lastIndexOf(QLatin1Char('@'), end - 1);
    return at < start ? text : text.left(start) + text.mid(at + 1);
}
