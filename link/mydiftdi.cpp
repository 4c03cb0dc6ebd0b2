// The link object: URL dispatch of open, close and write, and the receive pass shared by all
// transports. The transports live in mydiftdi_usb.cpp, mydiftdi_serial.cpp and mydiftdi_eth.cpp.

#include "mydiftdi.h"

#include "endpoint.h"
#include "linklog.h"
#include "shownurl.h"

#include <QDebug>
#include <QScopedValueRollback>
#include <QSerialPort>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

MyDiFtdi::MyDiFtdi()
{
    qRegisterMetaType<MyDiFtdi *>("MyDiFtdi*");
    qRegisterMetaType<QAbstractSocket::SocketError>("QAbstractSocket::SocketError");
}

MyDiFtdi::~MyDiFtdi()
{
    close();
}

// What the peer sends along with its answer to the open (a frame in the datagram of "INFO:Session
// opened") is announced once the open is over and the link counts as connected, so that a frame
// asking for an acknowledgement gets one.
int MyDiFtdi::open(const QString &endpoint)
{
    int result = -1;
    {
        const QScopedValueRollback<bool> during(opening, true);
        result = openTransport(endpoint);
    }
    emitIfItems();
    return result;
}

int MyDiFtdi::openTransport(const QString &endpoint)
{
    url = QUrl(endpoint, QUrl::StrictMode);
    openFailure.clear();
    openErrorCode = OpenNoError;
    close();
    // The unfinished unit of the previous endpoint (half a frame from a peer that went away, the
    // garbage of a module that failed its LOGIN) would glue onto the first line or frame of this one.
    if (!rxScan.cutting) {
        rxBuffer.clear();
        rxScan = RxScanState{};
    }

    const Endpoint target(url);
    switch (target.kind()) {
    case Endpoint::Usb:
        if (!target.hasUsbIds())
            return failOpen(OpenInvalidUrl, QStringLiteral("no vid and pid in the URL"));
        // Missing or non-numeric items read as 0; larger numbers are cut to the 16-bit ids.
        return openUsb(target.vendorId(), target.productId());
    case Endpoint::Serial:
        return openSerial(target);
    case Endpoint::Udp:
    case Endpoint::Tcp:
        // A bad port or password voids the URL but leaves its scheme: there is no host to wait for.
        if (!target.isValid())
            return failOpen(OpenInvalidUrl, QStringLiteral("invalid URL"));
        url.setPort(target.port());
        return openEth(target);
    case Endpoint::Unknown:
        break;
    }
    qCDebug(lcLink).noquote() << "unhandled scheme : " << url.scheme();
    return failOpen(OpenUnknownScheme, QStringLiteral("unknown scheme \"%1\"").arg(url.scheme()));
}

int MyDiFtdi::failOpen(OpenError code, const QString &why, int result)
{
    if (openFailure.isEmpty() && !why.isEmpty()) {
        openFailure = why;
        openErrorCode = code;
    }
    return result;
}

void MyDiFtdi::close()
{
    release(false);
}

void MyDiFtdi::dropTransport(const char *why)
{
    if (transport == TransportNone)
        return;
    qCWarning(lcLink).noquote() << "Link lost:" << why << shownUrl(url);
    release(true);
}

void MyDiFtdi::release(bool abrupt)
{
    // Reset before the transport's close runs: the Ethernet close waits with events processed,
    // and a close reached from there (a session line, a poll) must find nothing left to close.
    const TransportKind closing = transport;
    transport = TransportNone;
    // The Ethernet close still sends LOGOUT and waits, but nothing can be written any more: a request
    // waiting for its answer learns now that the link is gone, not 1.5 s later as a silent peer.
    if (closing != TransportNone)
        markDisconnected();
    switch (closing) {
    case TransportEth:
        if (abrupt)
            abortEth();
        else
            closeEth();
        break;
    case TransportUsbKvmx:
    case TransportUsbVtap:
        closeUsb();
        break;
    case TransportSerial:
        closeSerial();
        break;
    case TransportNone:
        break;
    }
    // Closed from a session line ("Access denied"): what else that transport delivered, also during
    // the logout wait, is still cut into items, but a "Session opened" among it must not reopen the
    // session of a link that is closed.
    if (closing != TransportNone && rxScan.cutting)
        rxScan.closedTransportEnd = int(rxBuffer.size());
}

int MyDiFtdi::write(const QByteArray &bytes)
{
    if (transport != TransportNone)
        emit traffic(true, RxBusFrame, bytes);
    switch (transport) {
    case TransportEth:
        return writeEth(bytes);
    case TransportUsbKvmx:
    case TransportUsbVtap:
        return writeUsb(bytes);
    case TransportSerial:
        return writeSerial(bytes);
    case TransportNone:
        break;
    }
    return 0;
}

RxItem MyDiFtdi::takeItem()
{
    if (rxItems.empty())
        return RxItem{};
    RxItem item = std::move(rxItems.front());
    rxItems.pop_front();
    return item;
}

void MyDiFtdi::receivePass(const QByteArray &bytes)
{
    rxBuffer.append(bytes);
    cutItems();
    emitIfItems();
}

void MyDiFtdi::emitIfItems()
{
    if (!rxItems.empty() && !opening)
        emit newFrame(this);
}

void MyDiFtdi::markDisconnected()
{
    if (!connected)
        return;
    connected = false;
    emit connectStateChanged(false);
}
