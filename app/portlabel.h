#ifndef PORTLABEL_H
#define PORTLABEL_H

#include "portentry.h"

#include <QString>

// The text under which an endpoint is listed in the port list: "USB (kvmx)", "192.168.1.20 (ntx07)".
QString portLabel(const PortEntry &entry);

// The vtap device goes to the top of the port list; every other endpoint is appended.
bool listedAtTop(const PortEntry &entry);

#endif // PORTLABEL_H
