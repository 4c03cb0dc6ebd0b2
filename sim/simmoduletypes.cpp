#include "simmoduletypes.h"

namespace {

// Numbers 0, 16, 32, 48 and 64 and the two numbers 18 and 29 are unused and hold placeholders;
// 0 is the bus master itself, 21 the vtap device and 44 the Ethernet interface module.
const char *const typeCodes[SimModuleTypes::count] = {
    "-----", "BTN04", "BTN08", "DIM01", "DIM04", "REL08", "REL16", "TMP01", "LCD20", "IRX01", "SHT04",
    "MOD10", "GSM01", "DCF01", "TOR04", "INP08", "-----", "BTN12", "--12-", "DIM10", "VAL10", "VTAP1",
    "BUZ01", "PLS04", "TRV01", "RGB01", "DMX01", "HVC01", "VID01", "--1D-", "LCD40", "TMP04", "-----",
    "INP16", "REL04", "DIM02", "SHT08", "WTH01", "CNT04", "AIR01", "LUX10", "PIR01", "KEY01", "IRX02",
    "NTX07", "MOD20", "REL32", "BLK01", "-----", "TMP08", "DIM08", "INP04", "OUT08", "SEN01", "PHN01",
    "TOR08", "GRA01", "SND01", "LCD80", "VAR01", "ACT01", "TEL01", "MTR01", "LUX42", "-----", "ETH02",
    "GSM02", "DAI01", "RGB04", "DIM16", "SHT16", "KVM02"};

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
