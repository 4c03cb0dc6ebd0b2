#include "moduletable.h"

#include "buscodes.h"
#include "moduletypecodes.h"

#include <QtEndian>

namespace {

constexpr int tableHeaderSize = 6;
constexpr int moduleRecordSize = 8;
constexpr int recordVersionOffset = 6;

int byteAt(const QByteArray &bytes, int index)
{
    return static_cast<quint8>(bytes.at(index));
}

} // namespace

QString ModuleTable::typeName(int type)
{
    if (type >= 0 && type < moduleTypeCount)
        return QLatin1String(moduleTypeCodes[type]);
    // Numbers past the table are shown like its reserved entries: the number in hex between dashes.
    return QStringLiteral("--%1-").arg(type, 2, 16, QLatin1Char('0')).toUpper();
}

QString ModuleTable::Module::typeName() const
{
    return ModuleTable::typeName(type());
}

bool ModuleTable::Module::isDaliInterface() const
{
    return type() == daliInterfaceModuleType;
}

QString ModuleTable::Module::label() const
{
    return typeName() + QStringLiteral(" s/n:") + QString::number(serial()) +
           QStringLiteral(" v%1").arg(version);
}

bool ModuleTable::read(const QByteArray &payload, ModuleTable &table)
{
    if (payload.size() < tableHeaderSize || byteAt(payload, 1) != moduleTableMarker)
        return false;
    const int announced = (byteAt(payload, 4) * 256 + byteAt(payload, 5)) / moduleRecordSize;
    const int present = (payload.size() - tableHeaderSize) / moduleRecordSize;
    table.modules.clear();
    for (int record = 0; record < qMin(announced, present); ++record) {
        const int at = tableHeaderSize + record * moduleRecordSize;
        table.modules.append(
            {qFromBigEndian<quint32>(payload.constData() + at), byteAt(payload, at + recordVersionOffset)});
    }
    return true;
}

QList<ModuleTable::Module> ModuleTable::daliInterfaces() const
{
    QList<Module> dali;
    for (const Module &module : modules) {
        if (module.isDaliInterface())
            dali.append(module);
    }
    return dali;
}
