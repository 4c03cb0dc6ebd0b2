#ifndef BUSCODES_H
#define BUSCODES_H

#include <QByteArray>
#include <QtGlobal>

// The vocabulary of the bus that this system speaks: the command codes it sends or reads, the
// fields of the two option bytes as MyFrameDec keeps them (in their bit positions), the address
// modes, the master's report bytes and the endpoints' default port.

// Command codes.
constexpr int commandCoackn = 0x01;       // acknowledgement
constexpr int commandConack = 0x02;       // busy: the addressee keeps the request and the sender waits on
constexpr int commandCotranstable = 0x16; // module table, during a scan
constexpr int commandCosetdata = 0x1F;    // the erase request to a DALI interface module
constexpr int commandCoscan = 0x31;       // the bus scan request
constexpr int commandCogivenbrmod = 0x37; // number of modules found so far
constexpr int commandCosendtask = 0x63;   // task report: scan started, end of scan

// Option byte 0.
constexpr int optionFollows = 0x80;
constexpr int frameTypeRequest = 1; // every frame this system sends, its acknowledgements included
constexpr int ackRequested = 0x04;
constexpr int addrSizeNone = 0x00;
constexpr int addrSize8 = 0x08;
constexpr int addrSize16 = 0x10;
constexpr int addrSize32 = 0x18;
constexpr int addrSizeMask = 0x18;
constexpr int frameClassMask = 0x60;
constexpr int frameClassRequest = 0x20;
constexpr int frameClassAck = 0x60;

// Address modes (option byte 1). Only mode 3 carries an address; the others are the address.
constexpr int modeMaster = 0;     // the bus master, as receiver of a scan request and sender of reports
constexpr int modeEthernetPc = 1; // this PC behind an Ethernet interface module
constexpr int modeUsbPc = 2;      // this PC on the bus master's USB or serial port
constexpr int modeAddressed = 3;  // the address follows in the frame
constexpr int addressModeMask = 0x03;

// COSENDTASK report bytes.
constexpr int reportEndOfScan = 1;
constexpr int reportScanStarted = 2;
// Byte 1 of a module table report.
constexpr int moduleTableMarker = 0xF0;

// COSETDATA parameter 0x3F, value 0xF1: erase the short addresses and groups of every DALI slave.
inline QByteArray eraseShortAddressesData()
{
    return QByteArrayLiteral("\x3F\xF1");
}

// Port of the Ethernet interface module's session and of endpoint discovery.
constexpr quint16 ethModulePort = 17481;

#endif // BUSCODES_H
