#ifndef SIMMODULETYPES_H
#define SIMMODULETYPES_H

#include <QString>

// The five-character codes of the bus's module types, indexed by module-type number. The simulator
// prints them in its log and accepts them in place of numbers on the command line.
class SimModuleTypes
{
public:
    static constexpr int count = 72;
    static constexpr int daliInterface = 63;

    // The code of a number, or an empty string for a number outside the table.
    static QString code(int number);
    // The number of a code (case-insensitive), or -1 for an unknown code or a placeholder.
    static int number(const QString &code);
    // Placeholders ("-----", "--12-") stand for numbers that no module model uses.
    static bool isPlaceholder(int number);
};

#endif // SIMMODULETYPES_H
