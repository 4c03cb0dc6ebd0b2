#ifndef ENDPOINTARGUMENTS_H
#define ENDPOINTARGUMENTS_H

#include "portentry.h"

#include <QList>
#include <QStringList>
#include <QUrl>

// Endpoint URLs given on the command line, in addition to those that discovery finds.
struct EndpointArguments
{
    QList<QUrl> endpoints;  // the accepted URLs, in the order given
    QStringList rejections; // one line per argument that was skipped, for stderr
};

// Accepts valid URLs whose scheme the device link knows (usb, serial, udp, tcp).
EndpointArguments parseEndpointArguments(const QStringList &arguments);

// Why the endpoint of a job (--scan, --erase) cannot be used, naming it without its password; empty
// when it can.
QString jobEndpointProblem(const QString &argument);

// The port-list entry of a command-line endpoint: the Ethernet interface module (44) for udp and
// tcp, the vtap device (21) for its USB product id, otherwise the bus master (0).
PortEntry endpointEntry(const QUrl &url);

#endif // ENDPOINTARGUMENTS_H
