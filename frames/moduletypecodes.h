#ifndef MODULETYPECODES_H
#define MODULETYPECODES_H

// The five-character codes of the bus's module types, indexed by module-type number. Numbers 0,
// 16, 32, 48 and 64 are unused; 18 and 29 are reserved and spell their own number. 0 is the bus
// master itself, 21 the vtap device, 44 the Ethernet interface module, 63 the DALI interface module.
constexpr int moduleTypeCount = 72;
constexpr int daliInterfaceModuleType = 63;

inline constexpr const char *moduleTypeCodes[moduleTypeCount] = {
    "-----", "BTN04", "BTN08", "DIM01", "DIM04", "REL08", "REL16", "TMP01", "LCD20", "IRX01", "SHT04",
    "MOD10", "GSM01", "DCF01", "TOR04", "INP08", "-----", "BTN12", "--12-", "DIM10", "VAL10", "VTAP1",
    "BUZ01", "PLS04", "TRV01", "RGB01", "DMX01", "HVC01", "VID01", "--1D-", "LCD40", "TMP04", "-----",
    "INP16", "REL04", "DIM02", "SHT08", "WTH01", "CNT04", "AIR01", "LUX10", "PIR01", "KEY01", "IRX02",
    "NTX07", "MOD20", "REL32", "BLK01", "-----", "TMP08", "DIM08", "INP04", "OUT08", "SEN01", "PHN01",
    "TOR08", "GRA01", "SND01", "LCD80", "VAR01", "ACT01", "TEL01", "MTR01", "LUX42", "-----", "ETH02",
    "GSM02", "DAI01", "RGB04", "DIM16", "SHT16", "KVM02"};

#endif // MODULETYPECODES_H
