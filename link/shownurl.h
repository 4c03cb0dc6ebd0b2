#ifndef SHOWNURL_H
#define SHOWNURL_H

#include <QString>
#include <QUrl>

// An endpoint URL as it is shown to a person or written to a log, trace or export: without its
// password, which only the LOGIN uses. Every URL that becomes text for a reader goes through here.
QString shownUrl(const QUrl &url);
// The same for URL text, also text that does not parse as a URL (a rejected argument).
QString shownUrl(const QString &text);

#endif // SHOWNURL_H
