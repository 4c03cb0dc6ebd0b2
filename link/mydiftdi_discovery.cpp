// Placeholder: replaced by endpoint discovery.
#include "mydiftdi.h"
QList<PortEntry> MyDiFtdi::discoverPorts(int) { return {}; }
