#ifndef TOOLBOXOPTIONS_H
#define TOOLBOXOPTIONS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <limits>

// The toolbox's command line. Without --scan or --erase it opens the window, with the endpoint URLs
// given listed after the discovered ones; with either, it runs that job without a display.
class ToolboxOptions
{
public:
    enum Mode { Window, Scan, Erase, Help, Version };

    static constexpr int defaultTimeoutSeconds = 60;
    static constexpr int maxTimeoutSeconds = std::numeric_limits<int>::max() / 1000;

    Mode mode = Window;
    QList<QUrl> endpoints;  // the window's extra endpoints
    QStringList rejections; // endpoint arguments skipped, one line each for stderr
    QUrl jobUrl;            // the endpoint of --scan or --erase
    quint32 moduleSerial = 0;
    bool json = false;
    bool confirmed = false; // --yes
    int timeoutSeconds = defaultTimeoutSeconds;
    QString traceFile;
    QString logFile;      // --log: diagnostics appended there instead of stderr
    bool verbose = false; // --verbose: diagnostics on stderr
    QString error;        // set when parse returns false
    QString helpText;

    // arguments[0] is the program name. Needs no application object; the help text is filled in
    // only when one exists.
    bool parse(const QStringList &arguments);
};

#endif // TOOLBOXOPTIONS_H
