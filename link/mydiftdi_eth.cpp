// Placeholder: replaced by the Ethernet transport.
#include "mydiftdi.h"
int MyDiFtdi::openEth(const QString &) { return -1; }
void MyDiFtdi::closeEth() {}
int MyDiFtdi::writeEth(const QByteArray &) { return -1; }
void MyDiFtdi::treatInfo(RxItem) {}
void MyDiFtdi::setSessionState(SessionState) {}
bool MyDiFtdi::encodeLogin(QByteArray &, QString) { return false; }
bool MyDiFtdi::encodeLogin(QByteArray &, const QString &, const QDateTime &) { return false; }
void MyDiFtdi::waitMs(int) {}
void MyDiFtdi::on_helloTimer_timeout_cb() {}
void MyDiFtdi::udpSock_readResponse_cb() {}
void MyDiFtdi::on_udpSock_error(QAbstractSocket::SocketError) {}
void MyDiFtdi::on_udpSock_connected() {}
void MyDiFtdi::tcpSock_readResponse_cb() {}
void MyDiFtdi::on_tcpSock_connected() {}
