#ifndef COMMLOG_H
#define COMMLOG_H

#include <QLoggingCategory>

// Diagnostics of the communication manager. QT_LOGGING_RULES selects or silences them
// ("telvoran.comm.debug=false"); a disabled line is not even formatted.
Q_DECLARE_LOGGING_CATEGORY(lcComm)

#endif // COMMLOG_H
