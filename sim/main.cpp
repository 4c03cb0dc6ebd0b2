#include "framelog.h"
#include "simbus.h"
#include "simethmodule.h"
#include "simfaultcontrol.h"
#include "simoptions.h"
#include "simptyport.h"
#include "simsignalwatcher.h"
#include "toolboxversion.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

void logModules(FrameLog &log, const SimOptions &options)
{
    for (const SimModule &module : options.modules) {
        log.event(QStringLiteral("module %1 v%2, address %3")
                      .arg(module.label())
                      .arg(module.version)
                      .arg(module.moduleId(), 8, 16, QLatin1Char('0')));
    }
}

int fail(const QString &message)
{
    std::fprintf(stderr, "telvoran-bus-sim: %s\n", qPrintable(message));
    return 2;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("telvoran-bus-sim"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOOLBOX_VERSION));

    SimOptions options;
    if (!options.parse(QCoreApplication::arguments()))
        return fail(options.error + QStringLiteral(" (see --help)"));
    QFile out;
    out.open(stdout, QIODevice::WriteOnly);
    if (options.helpRequested || options.versionRequested) {
        out.write(options.helpRequested ? SimOptions::helpText().toUtf8()
                                        : QByteArray("telvoran-bus-sim " TOOLBOX_VERSION "\n"));
        return 0;
    }

    FrameLog log(&out);
    QFile jsonLog(options.jsonLogPath);
    if (!options.jsonLogPath.isEmpty()) {
        if (!jsonLog.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return fail(
                QStringLiteral("cannot write %1: %2").arg(options.jsonLogPath, jsonLog.errorString()));
        log.setJsonDevice(&jsonLog);
    }
    SimBus bus(options.modules, options.faults, &log);
    bus.setScanMs(options.scanMs);
    bus.setResend(options.resendMs, options.resends);
    if (options.masterAddressed)
        bus.setMasterAddress(options.masterAddress);
    bus.setUnusableReports(options.unusableReports);

    SimFaultControl control(&bus.faultSettings(), &log);
    if (options.faultsFromStdin)
        control.listen(STDIN_FILENO);

    std::unique_ptr<SimPtyPort> pty;
    std::unique_ptr<SimEthModule> eth;
    QString error;
    if (options.front == SimOptions::FrontPty) {
        pty = std::make_unique<SimPtyPort>(&bus, &log);
        if (!pty->open(error))
            return fail(error);
        log.plain(QStringLiteral("PTY %1").arg(pty->slavePath()));
    } else {
        eth = std::make_unique<SimEthModule>(&bus, &log);
        eth->setPassword(options.password);
        eth->setFlood(qint64(options.floodMb) << 20, options.floodMs);
        const auto transport = options.front == SimOptions::FrontTcp ? SimEthModule::Tcp : SimEthModule::Udp;
        if (!eth->start(transport, options.host, options.port, error))
            return fail(error);
        log.plain(eth->endpointText());
    }
    logModules(log, options);

    SimSignalWatcher watcher;
    QObject::connect(&watcher, &SimSignalWatcher::terminationRequested, &app, [&log](int signalNumber) {
        log.event(QStringLiteral("signal %1: closing").arg(signalNumber));
        QCoreApplication::quit();
    });
    const int result = QCoreApplication::exec();
    eth.reset();
    pty.reset();
    log.event(QStringLiteral("closed"));
    return result;
}
