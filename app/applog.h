#ifndef APPLOG_H
#define APPLOG_H

#include <QLoggingCategory>

// Diagnostics of the main window. QT_LOGGING_RULES selects or silences them
// ("telvoran.app.debug=false"); a disabled line is not even formatted.
Q_DECLARE_LOGGING_CATEGORY(lcApp)

#endif // APPLOG_H
