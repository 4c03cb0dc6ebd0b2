#ifndef LINKLOG_H
#define LINKLOG_H

#include <QLoggingCategory>

// Diagnostics of the device link: transports, module session, discovery. QT_LOGGING_RULES selects
// or silences them ("telvoran.link.debug=false"); a disabled line is not even formatted.
Q_DECLARE_LOGGING_CATEGORY(lcLink)

#endif // LINKLOG_H
