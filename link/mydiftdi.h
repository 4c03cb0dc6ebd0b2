#ifndef MYDIFTDI_H
#define MYDIFTDI_H

#include "buscodes.h"
#include "deferreddelete.h"
#include "ftd2xx.h"
#include "portentry.h"
#include "probetarget.h"
#include "rxitem.h"
#include "rxscanstate.h"

#include <QAbstractSocket>
#include <QByteArray>
#include <QDateTime>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

#include <deque>

class Endpoint;
class QSerialPort;
class QTcpSocket;
class QTimer;
class QUdpSocket;

// The device link: at most one open transport (USB through the D2XX layer, serial port, or the
// Ethernet interface module over UDP/TCP), one receive buffer cut into RxItems, and newFrame to
// announce them. Everything runs on the GUI thread.
class MyDiFtdi : public QObject
{
    Q_OBJECT

public:
    enum TransportKind : int {
        TransportNone = 0,
        TransportUsbKvmx = 1,
        TransportUsbVtap = 2,
        TransportEth = 3,
        TransportSerial = 4,
    };

    enum SessionState : int {
        SessionClosed = 0,
        SessionOpened = 1,
        SessionAuthFailed = 2,
    };

    // Longest frame is a few hundred bytes; past this bound undelimited bytes are let go.
    static constexpr int rxBufferLimit = 64 * 1024;
    static constexpr int usbReadChunk = 4096;

    // Why an open failed, for the caller to choose its words; openFailureReason() says it in a few.
    enum OpenError : int {
        OpenNoError = 0,
        OpenInvalidUrl,    // unreadable URL, no vid and pid, an empty endpoint
        OpenUnknownScheme, // none of usb, serial, udp, tcp
        OpenNoDevice,      // no such USB device or serial port
        OpenDeviceBusy,    // held by another program, or not permitted
        OpenDeviceRefused, // the driver failed, or the device refused the line settings
        OpenNoBaudRate,    // a serial URL without its baud rate
        OpenRefused,       // connection refused
        OpenHostNotFound,
        OpenNoLoginAnswer, // the module did not answer the LOGIN in time
        OpenAccessDenied,  // the module answered "INFO:Access denied"
        OpenAuthFailed,    // the module refused the password: "INFO:Auth failed"
        OpenOtherError,
    };

    MyDiFtdi();
    ~MyDiFtdi() override;

    int open(const QString &endpoint);
    // Why the last open failed, in a few words for a person ("connection refused", "no answer to
    // LOGIN"); empty after a successful open.
    QString openFailureReason() const { return openFailure; }
    OpenError openError() const { return openErrorCode; }
    void close();
    int write(const QByteArray &bytes);
    bool isConnected() const { return connected; }
    int itemCount() const { return int(rxItems.size()); }
    RxItem takeItem();

    // The common receive pass of every transport: append, cut into items, announce.
    void receivePass(const QByteArray &bytes);

    TransportKind transportKind() const { return transport; }
    SessionState currentSessionState() const { return sessionState; }
    QString loginPassword() const { return password; }
    QUrl endpointUrl() const { return url; }
    int bufferedByteCount() const { return rxBuffer.size(); }

    // ---- Ethernet session helpers (mydiftdi_eth.cpp) ----
    // Builds the LOGIN datagram from the password and the local date and time; false and out
    // untouched for an empty password.
    static bool encodeLogin(QByteArray &out, const QString &password);
    static bool encodeLogin(QByteArray &out, const QString &password, const QDateTime &now);
    // Returns after ms milliseconds, processing events (user input excluded) in slices of <= 100 ms.
    static void waitMs(int ms);
    // Sends the session's keep-alive now (Ethernet only; false otherwise). Over UDP a module that went
    // away is noticed only when something is sent to it: its refused datagram ends the link.
    bool sendHello();
    // The HELLO keep-alive period for the next Ethernet open; tests shorten it.
    void setHelloPeriod(int ms) { helloPeriodMs = ms; }
    // The open's wait for the module's answer to LOGIN and the wait after LOGOUT, for this link's
    // Ethernet opens and closes from now on; tests shorten them.
    static constexpr int defaultEthOpenWaitMs = 2000;
    static constexpr int defaultEthLogoutWaitMs = 1500;
    void setEthWaits(int openMs, int logoutMs) { ethOpenWaitMs = openMs, ethLogoutWaitMs = logoutMs; }

    // ---- Endpoint discovery (mydiftdi_discovery.cpp) ----
    static QList<PortEntry> discoverPorts(int mask);
    // The same with the UDP probe sent to the given targets and its answers awaited on bindPort,
    // instead of the broadcast address of every interface and the module port.
    static QList<PortEntry> discoverPorts(int mask, const QList<ProbeTarget> &probeTargets,
                                          quint16 bindPort = ethModulePort);
    // The broadcast address of every IPv4 address entry of every interface, at the module port.
    static QList<ProbeTarget> broadcastProbeTargets();

signals:
    void newFrame(MyDiFtdi *sender);
    void connectStateChanged(bool connected);
    void sessionStateChanged(MyDiFtdi::SessionState state);
    // Every unit that crosses the link, for the traffic trace: sent (frames written, the session's
    // LOGIN, HELLO and LOGOUT) or received (each item as it is cut from the stream).
    void traffic(bool sent, RxItemKind kind, const QByteArray &bytes);

private slots:
    void on_pollUsbTimer_timeout_cb();
    void on_helloTimer_timeout_cb();
    void udpSock_readResponse_cb();
    void on_udpSock_error(QAbstractSocket::SocketError socketError);
    void on_udpSock_connected();
    void tcpSock_readResponse_cb();
    void serPort_readResponse_cb();
    void on_tcpSock_connected();

private:
    int openTransport(const QString &endpoint);

    // Stream framing (mydiftdi_framing.cpp).
    void cutItems();
    void boundRxBuffer();
    void queueItem(RxItem item);
    void emitIfItems();
    // The link counts as connected no more, from the first step of a close on.
    void markDisconnected();

    // The open transport failed under our feet (peer gone, port refused, device removed): it is
    // released at once, without the goodbye of close.
    void dropTransport(const char *why);
    // close, or with abrupt the release of dropTransport.
    void release(bool abrupt);
    // Notes why the open under way fails (the first reason stays) and returns result. No reason (a
    // UDP error that the open waits out) notes nothing, its code neither.
    int failOpen(OpenError code, const QString &why, int result = -1);

    // USB transport (mydiftdi_usb.cpp).
    int openUsb(quint16 vid, quint16 pid);
    void closeUsb();
    int writeUsb(const QByteArray &bytes);

    // Serial transport (mydiftdi_serial.cpp).
    int openSerial(const Endpoint &target);
    void closeSerial();
    int writeSerial(const QByteArray &bytes);

    // Ethernet transport and session (mydiftdi_eth.cpp).
    int openEth(const Endpoint &target);
    void closeEth();
    void abortEth();
    void abortSockets();
    void endEthSession();
    int writeEth(const QByteArray &bytes);
    void treatInfo(const RxItem &item);
    void setSessionState(SessionState state);

    FT_HANDLE ftHandle = nullptr;
    DeferredPtr<QTcpSocket> tcpSock;
    DeferredPtr<QUdpSocket> udpSock;
    DeferredPtr<QSerialPort> serPort;
    DeferredPtr<QTimer> pollUsbTimer;
    DeferredPtr<QTimer> helloTimer;
    QByteArray rxBuffer;
    std::deque<RxItem> rxItems; // a deque: one allocation per block of items, not per item
    RxScanState rxScan;
    bool connected = false;
    bool opening = false; // items received meanwhile are announced once the open is over
    SessionState sessionState = SessionClosed;
    TransportKind transport = TransportNone;
    quint8 ethVersion = 0;
    quint8 stackVersion = 0;
    QString password;
    QUrl url;
    QString openFailure;
    OpenError openErrorCode = OpenNoError;
    bool accessDenied = false; // an "Access denied" line came during the Ethernet open
    int helloPeriodMs = 50000;
    int ethOpenWaitMs = defaultEthOpenWaitMs;
    int ethLogoutWaitMs = defaultEthLogoutWaitMs;
};

Q_DECLARE_METATYPE(MyDiFtdi *)

#endif // MYDIFTDI_H
