#include "endpointarguments.h"
#include "qtelvorandalitoolbox.h"
#include "toolboxversion.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    // The window draws nothing with OpenGL, yet Qt's X11 plugin would load the whole GL stack at start:
    // under a software renderer about half the resident memory and a good part of the start time. A
    // user who wants an integration still sets one.
    if (qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION"))
        qputenv("QT_XCB_GL_INTEGRATION", "none");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("telvoran-dali-toolbox"));
    QApplication::setApplicationVersion(QStringLiteral(TOOLBOX_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Telvoran2 DALI toolbox: connects to the Telvoran2 bus master, scans the bus for the "
        "DALI interface module and erases the short addresses and groups of its DALI slaves."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("ENDPOINT_URL"),
        QStringLiteral("Endpoint listed after the discovered bus master, e.g. "
                       "usb://localhost?vid=1027&pid=61264, serial://ttyUSB0?baud=38400, "
                       "udp://192.168.1.20:17481 or tcp://192.168.1.20:17481."),
        QStringLiteral("[ENDPOINT_URL ...]"));
    parser.process(app);

    const EndpointArguments arguments = parseEndpointArguments(parser.positionalArguments());
    for (const QString &rejection : arguments.rejections)
        std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()),
                     qPrintable(rejection));

    qtelvorandalitoolbox window(arguments.endpoints);
    window.show();
    return QApplication::exec();
}
