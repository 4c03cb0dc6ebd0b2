#ifndef PROBETARGET_H
#define PROBETARGET_H

#include <QHostAddress>

// Where the discovery probe "DISCOVER QNTX07" is sent: normally the broadcast address of each IPv4
// interface at the module port, in tests a loopback peer.
struct ProbeTarget
{
    QHostAddress address;
    quint16 port = 17481;
};

#endif // PROBETARGET_H
