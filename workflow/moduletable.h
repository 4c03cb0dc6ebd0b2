#ifndef MODULETABLE_H
#define MODULETABLE_H

#include <QByteArray>
#include <QList>
#include <QString>

// The bus master's table of the modules on the bus, as its module-table report carries it: a table
// id, the length in bytes, then one 8-byte record per module.
class ModuleTable
{
public:
    struct Module
    {
        quint32 id = 0; // module-type number in the top byte, 24-bit serial number below
        int version = 0;

        int type() const { return int(id >> 24); }
        quint32 serial() const { return id & 0x00FFFFFF; }
        QString typeName() const;
        bool isDaliInterface() const;
        // "LUX42 s/n:1234567 v3": how the module is listed and named in messages.
        QString label() const;
    };

    // False, and the table untouched, when the payload is no module table. Only whole records inside
    // the payload are read, however many the length field announces.
    static bool read(const QByteArray &payload, ModuleTable &table);
    static QString typeName(int type);

    QList<Module> modules;

    QList<Module> daliInterfaces() const;
};

#endif // MODULETABLE_H
