// Placeholder: replaced by the serial transport.
#include "mydiftdi.h"
int MyDiFtdi::openSerial(const QString &) { return -1; }
void MyDiFtdi::closeSerial() {}
int MyDiFtdi::writeSerial(const QByteArray &) { return -1; }
void MyDiFtdi::serPort_readResponse_cb() {}
