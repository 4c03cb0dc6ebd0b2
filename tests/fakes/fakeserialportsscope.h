#ifndef FAKESERIALPORTSSCOPE_H
#define FAKESERIALPORTSSCOPE_H

#include "serialportdescription.h"

// Replaces the system's serial-port list with a fixed one for its scope.
class FakeSerialPortsScope
{
public:
    explicit FakeSerialPortsScope(const QList<SerialPortDescription> &ports = {})
    {
        setSerialPortLister([ports] { return ports; });
    }
    ~FakeSerialPortsScope() { setSerialPortLister({}); }
};

#endif // FAKESERIALPORTSSCOPE_H
