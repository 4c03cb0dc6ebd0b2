#ifndef BUSREQUEST_H
#define BUSREQUEST_H

#include "myframedec.h"

class MyTreatComPc;

// A request of this PC: frame type 1, acknowledgement requested, 4-byte addresses, class 0x20,
// sent from the manager's own address mode.
MyFrameDec busRequest(const MyTreatComPc &manager, int rxMode, quint32 rxAddr, int command,
                      const QByteArray &data = QByteArray());

#endif // BUSREQUEST_H
