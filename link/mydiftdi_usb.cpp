// Placeholder: replaced by the USB transport.
#include "mydiftdi.h"
int MyDiFtdi::openUsb(quint16, quint16) { return -1; }
void MyDiFtdi::closeUsb() {}
int MyDiFtdi::writeUsb(const QByteArray &) { return -1; }
void MyDiFtdi::on_pollUsbTimer_timeout_cb() {}
