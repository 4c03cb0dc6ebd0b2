#ifndef FAKESERIALPORTSSCOPE_H
#define FAKESERIALPORTSSCOPE_H

#include "serialportdescription.h"

// Replaces the system's serial-port list with a fixed one for the scope of a test.
class FakeSerialPortsScope
{
public:
    explicit FakeSerialPortsScope(const QList<SerialPortDescription> &ports = {})
    {
        setSerialPortLister([ports] { return ports; });
    }
    ~FakeSerialPortsScope() { setSerialPortLister({}); }
    FakeSerialPortsScope(const FakeSerialPortsScope &) = delete;
    FakeSerialPortsScope &operator=(const FakeSerialPortsScope &) = delete;
};

#endif // FAKESERIALPORTSSCOPE_H
