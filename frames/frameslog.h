#ifndef FRAMESLOG_H
#define FRAMESLOG_H

#include <QLoggingCategory>

// Diagnostics of the frame decoder. QT_LOGGING_RULES selects or silences them
// ("telvoran.frames.debug=false"); a disabled line is not even formatted.
Q_DECLARE_LOGGING_CATEGORY(lcFrames)

#endif // FRAMESLOG_H
