#include "headlessrun.h"
#include "qtelvorandalitoolbox.h"
#include "toolboxoptions.h"
#include "toolboxversion.h"
#include "traffictrace.h"

#include <QApplication>
#include <QLoggingCategory>

#include <cstdio>
#include <memory>

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", qPrintable(line));
}

} // namespace

int main(int argc, char *argv[])
{
    // A scan or an erase from a script, and the help, need no display.
    const bool headless = ToolboxOptions::headless(argc, argv);
    // The window draws nothing with OpenGL, yet Qt's X11 plugin would load the whole GL stack at start:
    // under a software renderer about half the resident memory and a good part of the start time. A
    // user who wants an integration still sets one.
    if (!headless && qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    const std::unique_ptr<QCoreApplication> app(headless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));
    // Where QSettings keeps the window's remembered endpoints; the command-line modes read none.
    QCoreApplication::setOrganizationName(QStringLiteral("Telvoran"));
    QCoreApplication::setApplicationName(QStringLiteral("telvoran-dali-toolbox"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOOLBOX_VERSION));

    ToolboxOptions options;
    if (!options.parse(QCoreApplication::arguments())) {
        printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + options.error +
                              QStringLiteral(" (see --help)"));
        return HeadlessRun::BadArguments;
    }
    for (const QString &rejection : qAsConst(options.rejections))
        printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + rejection);

    auto *trace = new TrafficTrace;
    QString traceError;
    if (!options.traceFile.isEmpty() && !trace->openFile(options.traceFile, traceError)) {
        delete trace;
        printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + traceError);
        return HeadlessRun::BadArguments;
    }

    switch (options.mode) {
    case ToolboxOptions::Help:
        delete trace;
        std::fputs(qPrintable(options.helpText), stdout);
        return 0;
    case ToolboxOptions::Version:
        delete trace;
        printLine(stdout, QCoreApplication::applicationName() + QLatin1Char(' ') +
                              QCoreApplication::applicationVersion());
        return 0;
    case ToolboxOptions::Scan:
    case ToolboxOptions::Erase:
        // stderr carries the job's progress for the person running the script; the debug lines stay
        // out unless QT_LOGGING_RULES, which takes precedence, asks for them.
        QLoggingCategory::setFilterRules(QStringLiteral("telvoran.*.debug=false"));
        qSetMessagePattern(QStringLiteral("%{file}:%{line} - %{message}"));
        return HeadlessRun(options, trace).exec();
    case ToolboxOptions::Window:
        break;
    }
    qtelvorandalitoolbox window(options.endpoints, trace);
    window.show();
    return QApplication::exec();
}
