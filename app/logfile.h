#ifndef LOGFILE_H
#define LOGFILE_H

#include <QString>

class ToolboxOptions;

// The diagnostic lines of the libraries (frames acknowledged, sent again or dropped; link and driver
// errors). A flood of frames makes thousands of them a second, which cost more than the frames
// themselves and scroll past a user who started the toolbox from a terminal, so they are off unless
// asked for: --verbose writes them to stderr (on Windows the window has none, and Qt sends them to
// the debugger), --log FILE appends them to FILE, and QT_LOGGING_RULES, which takes precedence,
// selects categories. This is where a user collects the diagnostics to send in.
class LogFile
{
public:
    // Installs the pattern, the default rules and, with --log, the file. False with a reason if
    // the file cannot be opened.
    static bool setUp(const ToolboxOptions &options, QString &error);

    // Opens path for appending and sends every later log line there; false with a reason if the
    // file cannot be opened.
    static bool install(const QString &path, QString &error);
};

#endif // LOGFILE_H
