#ifndef PROBETARGET_H
#define PROBETARGET_H

#include <QHostAddress>

// Where the discovery probe "DISCOVER QNTX07" is sent: normally the broadcast address of each IPv4
// interface at the module port, in tests a loopback peer.
struct ProbeTarget
{
    QHostAddress address;
    quint16 port = 17481;
    // Sent from a port of its own rather than the bound one: a module on this very host (the
    // simulator) may hold the module port on the loopback, and would take an answer sent there.
    bool ownPort = false;
};

#endif // PROBETARGET_H
