#include "headlessrun.h"
#include "logfile.h"
#include "parentconsole.h"
#include "qtelvorandalitoolbox.h"
#include "toolboxoptions.h"
#include "toolboxversion.h"
#include "traffictrace.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fprintf(stream, "%s\n", qPrintable(line));
}

int badArguments(const QString &why)
{
    printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + why);
    return HeadlessRun::BadArguments;
}

} // namespace

int main(int argc, char *argv[])
{
    // The organisation names where QSettings keeps the window's remembered endpoints; the
    // command-line modes read none.
    QCoreApplication::setOrganizationName(QStringLiteral("Telvoran"));
    QCoreApplication::setApplicationName(QStringLiteral("telvoran-dali-toolbox"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOOLBOX_VERSION));

    // Checked before any application object exists: wrong arguments, the help and the jobs need no
    // display, and the window's application would abort without one.
    // Words with a single dash (-platform xcb, -style=fusion) are the window application's own and
    // are left to it: it takes them out of the arguments it hands on.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        if (!argument.startsWith(QLatin1Char('-')) || argument.startsWith(QLatin1String("--")) ||
            argument.size() <= 2)
            arguments << argument;
    }
    ToolboxOptions options;
    const bool understood = options.parse(arguments);
    const bool headless = options.mode != ToolboxOptions::Window;
    // A run from a script, and the reason for wrong arguments, need the console it was started from.
    if (headless || !understood)
        ParentConsole::attach();
    if (!understood)
        return badArguments(options.error + QStringLiteral(" (see --help)"));
    // The window draws nothing with OpenGL, yet Qt's X11 plugin would load the whole GL stack at start:
    // under a software renderer about half the resident memory and a good part of the start time. A
    // user who wants an integration still sets one.
    if (!headless && qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    const std::unique_ptr<QCoreApplication> app(headless ? new QCoreApplication(argc, argv)
                                                         : new QApplication(argc, argv));

    // Read again as the application gives them: on Windows from the wide-character command line.
    options = ToolboxOptions();
    if (!options.parse(QCoreApplication::arguments()))
        return badArguments(options.error + QStringLiteral(" (see --help)"));
    for (const QString &rejection : qAsConst(options.rejections))
        printLine(stderr, QCoreApplication::applicationName() + QStringLiteral(": ") + rejection);

    // Before anything that logs, the window's discovery included.
    QString logError;
    if (!LogFile::setUp(options, logError))
        return badArguments(logError);

    auto *trace = new TrafficTrace;
    QString traceError;
    if (!options.traceFile.isEmpty() && !trace->openFile(options.traceFile, traceError)) {
        delete trace;
        return badArguments(traceError);
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
        return HeadlessRun(options, trace).exec();
    case ToolboxOptions::Window:
        break;
    }
    qtelvorandalitoolbox window(options.endpoints, trace);
    window.show();
    return QApplication::exec();
}
