#ifndef TOOLBOXOPTIONS_H
#define TOOLBOXOPTIONS_H

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>

// The toolbox's command line. Without --scan or --erase it opens the window, with the endpoint URLs
// given listed after the discovered ones; with either, it runs that job without a display.
class ToolboxOptions
{
public:
    enum Mode { Window, Scan, Erase, Help, Version };

    static constexpr int defaultTimeoutSeconds = 60;

    Mode mode = Window;
    QList<QUrl> endpoints;  // the window's extra endpoints
    QStringList rejections; // endpoint arguments skipped, one line each for stderr
    QUrl jobUrl;            // the endpoint of --scan or --erase
    quint32 moduleSerial = 0;
    bool json = false;
    bool confirmed = false; // --yes
    int timeoutSeconds = defaultTimeoutSeconds;
    QString traceFile;
    QString logFile; // --log: diagnostics appended there instead of stderr
    QString error; // set when parse returns false
    QString helpText;

    // arguments[0] is the program name.
    bool parse(const QStringList &arguments);

    // Whether the arguments ask for a run without the window: it then needs no display at all.
    static bool headless(int argc, char **argv);
};

#endif // TOOLBOXOPTIONS_H
