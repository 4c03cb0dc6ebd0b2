#ifndef PROBETARGET_H
#define PROBETARGET_H

#include "buscodes.h"

#include <QHostAddress>

// Where the discovery probe "DISCOVER QNTX07" is sent: normally the broadcast address of each IPv4
// interface at the module port, in tests a loopback peer.
struct ProbeTarget
{
    QHostAddress address;
    quint16 port = ethModulePort;
};

#endif // PROBETARGET_H
