#ifndef FAKEUSBDEVICE_H
#define FAKEUSBDEVICE_H

#include "ftd2xx.h"

#include <QByteArray>
#include <QList>
#include <QPair>

// One USB device behind the FakeD2xxDriver: its scripted failures and what the PC did to it.
struct FakeUsbDevice
{
    quint32 id = 0x0403EF50; // vid << 16 | pid
    bool refuseOpen = false; // as when another program holds it
    FT_STATUS baudStatus = FT_OK;
    FT_STATUS dataCharacteristicsStatus = FT_OK;
    QByteArray rxWaiting; // bytes the device holds for the PC
    QByteArray written;   // every byte the PC wrote
    // One step per write call: the status and the most bytes accepted (-1 = all). Empty: all accepted.
    QList<QPair<FT_STATUS, int>> writeScript;
    bool unplugged = false; // queue status, read and write give FT_DEVICE_GONE

    bool open = false;
    quint32 baudRate = 0;
    int wordLength = -1;
    int stopBits = -1;
    int parity = -1;
};

#endif // FAKEUSBDEVICE_H
