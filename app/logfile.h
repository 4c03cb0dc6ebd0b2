#ifndef LOGFILE_H
#define LOGFILE_H

#include <QString>

// --log FILE: the diagnostic lines (Qt's message log, in the toolbox's pattern) appended to a file
// instead of going to stderr. On Windows the window has no console and Qt sends its log to the
// debugger, so this is where a user collects the diagnostics to send in.
class LogFile
{
public:
    // Opens path for appending and sends every later log line there; false with a reason if the
    // file cannot be opened.
    static bool install(const QString &path, QString &error);
};

#endif // LOGFILE_H
