#include "headlessrun.h"

#include "busscan.h"
#include "mytreatcompc.h"
#include "traffictrace.h"

#include <QCoreApplication>
#include <QJsonDocument>

#include <algorithm>
#include <cstdio>

namespace {

void printLine(FILE *stream, const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
    std::fflush(stream);
}

QString outcomeName(DaliErase::Outcome outcome)
{
    switch (outcome) {
    case DaliErase::Accepted:
        return QStringLiteral("accepted");
    case DaliErase::SendFailed:
        return QStringLiteral("send-failed");
    case DaliErase::NotAcknowledged:
        return QStringLiteral("not-acknowledged");
    case DaliErase::LinkLost:
        return QStringLiteral("link-lost");
    case DaliErase::Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}

} // namespace

HeadlessRun::HeadlessRun(const ToolboxOptions &options, TrafficTrace *trace)
    : options(options)
    , trace(trace)
{
    trace->setParent(this);
    limit.setSingleShot(true);
    connect(&limit, &QTimer::timeout, this, [this] {
        const QString reason =
            QStringLiteral("Time limit of %1 s reached.").arg(this->options.timeoutSeconds);
        if (scan)
            scan->stop(reason);
        if (erase)
            erase->stop(reason);
    });
}

HeadlessRun::~HeadlessRun() = default;

int HeadlessRun::exec()
{
    // Opened once the trace listens, so that it sees the module session open too.
    manager = std::make_unique<MyTreatComPc>(QString());
    trace->setEndpoint(options.jobUrl.toString(QUrl::RemovePassword));
    connect(manager.get(), &MyTreatComPc::traffic, trace, &TrafficTrace::record);
    manager->open(options.jobUrl.toString(QUrl::FullyEncoded));
    scan = new BusScan(manager.get(), this);
    connect(scan, &BusScan::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(scan, &BusScan::finished, this, &HeadlessRun::scanFinished);
    if (manager->isConnected()) {
        limit.start(options.timeoutSeconds * 1000);
        scan->start();
    } else {
        ScanResult result;
        result.outcome = ScanResult::NotConnected;
        result.endpoint = options.jobUrl.toString(QUrl::RemovePassword);
        result.finishedAt = QDateTime::currentDateTime();
        result.message = QStringLiteral("Not connected to ") + result.endpoint +
                         QStringLiteral(": the endpoint could not be opened.");
        scanFinished(result);
    }
    // A request that cannot be written ends the job inside start().
    if (!ended)
        loop.exec();
    // The Ethernet logout waits 1.5 s: the result is out before it.
    manager.reset();
    return status;
}

void HeadlessRun::scanFinished(const ScanResult &result)
{
    document = result.toJson();
    if (!result.completed()) {
        finish(Failed, result.message);
        return;
    }
    if (options.mode == ToolboxOptions::Erase) {
        eraseModule(result);
        return;
    }
    if (!options.json) {
        for (const ModuleTable::Module &module : result.table.modules)
            printLine(stdout, module.label());
    }
    finish(Done);
}

void HeadlessRun::eraseModule(const ScanResult &result)
{
    const QList<ModuleTable::Module> dali = result.table.daliInterfaces();
    const auto target = std::find_if(dali.cbegin(), dali.cend(), [this](const ModuleTable::Module &module) {
        return module.serial() == options.moduleSerial;
    });
    QJsonObject report{{QStringLiteral("serial"), qint64(options.moduleSerial)}};
    if (target == dali.cend()) {
        report.insert(QStringLiteral("outcome"), QStringLiteral("not-found"));
        document.insert(QStringLiteral("erase"), report);
        finish(Failed,
               QStringLiteral("No DALI interface module with s/n:%1 on the bus.").arg(options.moduleSerial));
        return;
    }
    report.insert(QStringLiteral("target"), target->label());
    if (!options.confirmed) {
        report.insert(QStringLiteral("outcome"), QStringLiteral("not-confirmed"));
        document.insert(QStringLiteral("erase"), report);
        if (!options.json)
            printLine(stdout, QStringLiteral("Would erase the short addresses and groups of every DALI slave "
                                             "behind ") +
                                  target->label() + QLatin1Char('.'));
        finish(NotConfirmed, QStringLiteral("Nothing erased: add --yes to erase."));
        return;
    }
    document.insert(QStringLiteral("erase"), report);
    erase = new DaliErase(manager.get(), target->id, target->label(), this);
    connect(erase, &DaliErase::progress, this, [](const QString &line) { printLine(stderr, line); });
    connect(erase, &DaliErase::finished, this, &HeadlessRun::eraseFinished);
    erase->start();
}

void HeadlessRun::eraseFinished(DaliErase::Outcome outcome, const QString &message)
{
    QJsonObject report = document.value(QStringLiteral("erase")).toObject();
    report.insert(QStringLiteral("outcome"), outcomeName(outcome));
    report.insert(QStringLiteral("message"), message);
    document.insert(QStringLiteral("erase"), report);
    if (outcome != DaliErase::Accepted) {
        finish(Failed, message);
        return;
    }
    if (!options.json)
        printLine(stdout, message);
    finish(Done);
}

void HeadlessRun::finish(int exitStatus, const QString &reason)
{
    if (ended)
        return;
    ended = true;
    status = exitStatus;
    limit.stop();
    if (options.json)
        printLine(stdout,
                  QString::fromUtf8(QJsonDocument(document).toJson(QJsonDocument::Indented)).trimmed());
    if (!reason.isEmpty())
        printLine(stderr, reason);
    loop.quit();
}
