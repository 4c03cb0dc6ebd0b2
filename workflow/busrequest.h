#ifndef BUSREQUEST_H
#define BUSREQUEST_H

#include "answerpolicy.h"
#include "myframedec.h"

class MyTreatComPc;

// Command codes of the scan and erase workflows.
constexpr int commandCoackn = 0x01;
constexpr int commandCotranstable = 0x16;
constexpr int commandCosetdata = 0x1F;
constexpr int commandCoscan = 0x31;
constexpr int commandCogivenbrmod = 0x37;
constexpr int commandCosendtask = 0x63;

// Receiver modes: the bus master needs no address; a module is addressed by its module id.
constexpr int rxModeMaster = 0;
constexpr int rxModeAddressed = 3;

// The status of a request that could not be written (link down, bytes not all accepted).
inline const char *const sendFailedText = "Error while sending frame. Please retry...";

// A request of this PC: frame type 1, acknowledgement requested, 4-byte addresses, class 0x20,
// sent from the manager's own address mode.
MyFrameDec busRequest(const MyTreatComPc &manager, int rxMode, quint32 rxAddr, int command,
                      const QByteArray &data = QByteArray());

// The manager's default policy, waiting for the addressee's COACKN.
AnswerPolicy awaitAck(const MyTreatComPc &manager);

#endif // BUSREQUEST_H
