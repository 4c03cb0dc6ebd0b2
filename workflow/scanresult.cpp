#include "scanresult.h"

#include <QJsonArray>

QString ScanResult::outcomeName() const
{
    switch (outcome) {
    case Completed:
        return QStringLiteral("completed");
    case SendFailed:
        return QStringLiteral("send-failed");
    case NoAnswer:
        return QStringLiteral("no-answer");
    case Incomplete:
        return QStringLiteral("incomplete");
    case LinkLost:
        return QStringLiteral("link-lost");
    case NotConnected:
        return QStringLiteral("not-connected");
    case Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}

QJsonObject ScanResult::toJson() const
{
    QJsonArray modules;
    for (const ModuleTable::Module &module : table.modules) {
        modules.append(QJsonObject{{QStringLiteral("typeCode"), module.type()},
                                   {QStringLiteral("typeName"), module.typeName()},
                                   {QStringLiteral("serial"), qint64(module.serial())},
                                   {QStringLiteral("version"), module.version},
                                   {QStringLiteral("id"), qint64(module.id)},
                                   {QStringLiteral("daliInterface"), module.isDaliInterface()}});
    }
    QJsonObject document{{QStringLiteral("endpoint"), endpoint},
                         // With the local offset, so that a file read elsewhere still tells when it was taken.
                         {QStringLiteral("date"),
                          finishedAt.toOffsetFromUtc(finishedAt.offsetFromUtc()).toString(Qt::ISODate)},
                         {QStringLiteral("outcome"), outcomeName()},
                         {QStringLiteral("tableRead"), tableRead},
                         {QStringLiteral("modules"), modules}};
    if (!completed())
        document.insert(QStringLiteral("reason"), message);
    return document;
}
