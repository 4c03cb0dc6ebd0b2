#include "scanresult.h"

#include <QJsonArray>

namespace {

QString isoDate(const QDateTime &when)
{
    // With the local offset, so that a file read elsewhere still tells when it was taken.
    return when.toOffsetFromUtc(when.offsetFromUtc()).toString(Qt::ISODate);
}

QString csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')))
        return text;
    return QLatin1Char('"') + QString(text).replace(QLatin1Char('"'), QLatin1String("\"\"")) +
           QLatin1Char('"');
}

} // namespace

QByteArray ScanResult::toCsv() const
{
    QString csv = QStringLiteral("endpoint,date,outcome,type,typeCode,serial,version,id,daliInterface\n");
    const QString common = csvField(endpoint) + QLatin1Char(',') + isoDate(finishedAt) + QLatin1Char(',') +
                           outcomeName() + QLatin1Char(',');
    for (const ModuleTable::Module &module : table.modules) {
        csv += common + QStringLiteral("%1,%2,%3,%4,%5,%6\n")
                            .arg(module.typeName())
                            .arg(module.type())
                            .arg(module.serial())
                            .arg(module.version)
                            .arg(module.id)
                            .arg(module.isDaliInterface() ? QStringLiteral("yes") : QStringLiteral("no"));
    }
    // A scan without modules still says how it ended.
    if (table.modules.isEmpty())
        csv += common + QStringLiteral(",,,,,\n");
    return csv.toUtf8();
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
                         {QStringLiteral("date"), isoDate(finishedAt)},
                         {QStringLiteral("outcome"), outcomeName()},
                         {QStringLiteral("tableRead"), tableRead},
                         {QStringLiteral("modules"), modules}};
    if (!completed())
        document.insert(QStringLiteral("reason"), message);
    return document;
}
