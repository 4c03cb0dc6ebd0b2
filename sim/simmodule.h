#ifndef SIMMODULE_H
#define SIMMODULE_H

#include "simmoduletypes.h"

#include <QString>
#include <QtGlobal>

// One module present on the simulated bus, as the bus master lists it in its module table.
struct SimModule
{
    quint8 type = 0;
    quint32 serial = 0; // 24 bits
    quint8 version = 0;

    // The module's bus address: type in the top byte, serial number below.
    quint32 moduleId() const { return (quint32(type) << 24) | (serial & 0xFFFFFF); }
    bool isDaliInterface() const { return type == SimModuleTypes::daliInterface; }
    // "LUX42 s/n:1234567", or the bare number for a type without a code.
    QString label() const
    {
        const QString code = SimModuleTypes::code(type);
        const QString name = code.isEmpty() ? QString::number(type) : code;
        return QStringLiteral("%1 s/n:%2").arg(name).arg(serial);
    }
    bool operator==(const SimModule &other) const
    {
        return type == other.type && serial == other.serial && version == other.version;
    }
};

#endif // SIMMODULE_H
