#include "simmoduletypes.h"

#include "moduletypecodes.h"

namespace {

const char *const *const typeCodes = moduleTypeCodes;
static_assert(SimModuleTypes::count == moduleTypeCount, "one table of module-type codes");

} // namespace

QString SimModuleTypes::code(int number)
{
    if (number < 0 || number >= count)
        return QString();
    return QString::fromLatin1(typeCodes[number]);
}

int SimModuleTypes::number(const QString &code)
{
    const QString wanted = code.toUpper();
    for (int i = 0; i < count; ++i) {
        if (!isPlaceholder(i) && wanted == QLatin1String(typeCodes[i]))
            return i;
    }
    return -1;
}

bool SimModuleTypes::isPlaceholder(int number)
{
    return number >= 0 && number < count && typeCodes[number][0] == '-';
}
