#include "soakjob.h"

#include "busseen.h"

QString SoakJob::outcomeLabel() const
{
    const QString name = erase ? BusJob::outcomeName(eraseOutcome) : scan.outcomeName();
    return (erase ? QStringLiteral("erase ") : QStringLiteral("scan ")) +
           QString(name).replace(QLatin1Char('-'), QLatin1Char(' '));
}

QString SoakJob::judge(const BusSeen &bus, bool simulatorGone, quint32 daliModuleId,
                       quint32 otherModuleId) const
{
    QString unsettled = simulatorGone ? QString() : QStringLiteral("while the simulator was there");
    if (erase) {
        switch (eraseOutcome) {
        case BusJob::SendFailed:
        case BusJob::LinkLost:
            return unsettled;
        case BusJob::Accepted:
            return bus.moduleAck ? QString() : QStringLiteral("without the module's COACKN on the bus");
        case BusJob::NotAcknowledged:
            return bus.moduleAck ? QStringLiteral("although the module's COACKN came") : QString();
        default:
            break;
        }
        return QStringLiteral("not an outcome of this run");
    }
    switch (scan.outcome) {
    case BusJob::SendFailed:
    case BusJob::LinkLost:
        return unsettled;
    case BusJob::Completed: {
        if (!bus.endReport)
            return QStringLiteral("without an end-of-scan report on the bus");
        if (!bus.table)
            return QStringLiteral("without a module table on the bus");
        const auto &modules = scan.table.modules;
        if (!scan.tableRead || modules.size() != 2 || modules.at(0).id != daliModuleId ||
            modules.at(1).id != otherModuleId)
            return QStringLiteral("with a module table the bus did not report");
        return QString();
    }
    case BusJob::Incomplete:
        if (bus.endReport)
            return QStringLiteral("although the end-of-scan report came");
        if (!bus.masterAnswered)
            return QStringLiteral("although the master never answered");
        return QString();
    case BusJob::NoAnswer:
        return bus.masterAnswered ? QStringLiteral("although the master answered") : QString();
    default:
        break;
    }
    return QStringLiteral("not an outcome of this run");
}
