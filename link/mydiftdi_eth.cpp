// Ethernet transport: the interface module's text session (LOGIN, HELLO, LOGOUT, INFO lines) over
// UDP or TCP, with the bus frames passed through unchanged in both directions.
#include "mydiftdi.h"

#include "loginencoder.h"
#include "myframedec.h"

#include "endpoint.h"
#include "linklog.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUdpSocket>

#include <cstring>
#include <utility>

namespace {

constexpr int waitSliceMs = 100;
constexpr int maxDatagramSize = 65536;
constexpr int udpReceiveBufferBytes = 4 << 20;

// A click must not run a window slot against a link or manager that is half built or dying, so
// the waits leave user input queued.
constexpr QEventLoop::ProcessEventsFlags waitFlags = QEventLoop::ExcludeUserInputEvents;

// Runs the event loop for at most ms, and less when quitSignalSource announces a session change.
void runEventSlice(int ms, const MyDiFtdi *quitSignalSource)
{
    QEventLoop slice;
    QTimer::singleShot(ms, &slice, &QEventLoop::quit);
    if (quitSignalSource)
        QObject::connect(quitSignalSource, &MyDiFtdi::sessionStateChanged, &slice, &QEventLoop::quit);
    if (slice.exec(waitFlags) < 0) {
        // The application is quitting and refuses nested loops: still serve the sockets, without
        // spinning the CPU.
        QCoreApplication::processEvents(waitFlags, ms);
        QThread::msleep(static_cast<unsigned long>(qMin(ms, 10)));
    }
}

// Sends the LOGIN datagram; false when the password could not be encoded.
bool sendLogin(QAbstractSocket *socket, const QString &password)
{
    QByteArray login("LOGIN");
    if (!password.isEmpty() && !MyDiFtdi::encodeLogin(login, password))
        return false;
    socket->write(login);
    return true;
}

// How a LOGIN shows in the traffic trace: the encoded form is derived from the password and stays out.
QByteArray loginTrace(const QString &password)
{
    return password.isEmpty() ? QByteArrayLiteral("LOGIN") : QByteArrayLiteral("LOGIN (encoded)");
}

void logSocketError(QAbstractSocket *socket, const char *what, QAbstractSocket::SocketError socketError)
{
    if (!socket)
        return;
    qCDebug(lcLink) << socket->peerAddress() << socket->peerName() << what << socketError;
}

// Why a socket error makes an open fail: the code, and the reason for a person; no reason for an
// error that leaves a UDP open to its wait (a network briefly unreachable).
std::pair<MyDiFtdi::OpenError, QString> openFailureOf(QAbstractSocket *socket,
                                                      QAbstractSocket::SocketError socketError)
{
    switch (socketError) {
    case QAbstractSocket::ConnectionRefusedError:
        return {MyDiFtdi::OpenRefused, QStringLiteral("connection refused")};
    case QAbstractSocket::HostNotFoundError:
        return {MyDiFtdi::OpenHostNotFound, QStringLiteral("host not found")};
    case QAbstractSocket::RemoteHostClosedError:
        return {MyDiFtdi::OpenOtherError, QStringLiteral("connection closed by the module")};
    default:
        return {MyDiFtdi::OpenOtherError,
                socket->socketType() == QAbstractSocket::TcpSocket ? socket->errorString() : QString()};
    }
}

quint8 versionAfter(const QByteArray &line, const QByteArray &key)
{
    // Exactly two hex digits, as in a frame: a number parser would also take "+1", " 1" or "1\r". A
    // missing key makes the search read positions 5 and 6 of "MOD_VERSION=" ("ER"), i.e. 0.
    const QByteArray digits = line.mid(line.indexOf(key) + key.size(), 2);
    return digits.size() == 2 ? MyFrameDec::hexPair(digits.constData()) : 0;
}

} // namespace

void MyDiFtdi::waitMs(int ms)
{
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ms; left > 0; left = ms - clock.elapsed())
        runEventSlice(static_cast<int>(qMin<qint64>(left, waitSliceMs)), nullptr);
}

bool MyDiFtdi::encodeLogin(QByteArray &out, const QString &password)
{
    return encodeLogin(out, password, QDateTime::currentDateTime());
}

bool MyDiFtdi::encodeLogin(QByteArray &out, const QString &password, const QDateTime &now)
{
    return LoginEncoder::encode(out, password, now);
}

int MyDiFtdi::openEth(const Endpoint &target)
{
    const QString host = target.host();
    const quint16 port = target.port();

    // A state left by an earlier attempt (Auth failed, or an answer that came after that open had
    // given up) would end the wait below before this open's LOGIN is even answered.
    if (sessionState != SessionClosed)
        setSessionState(SessionClosed);
    accessDenied = false;
    password = target.password();

    if (target.kind() == Endpoint::Tcp) {
        tcpSock.reset(new QTcpSocket);
        QTcpSocket *socket = tcpSock.get();
        connect(socket, &QTcpSocket::readyRead, this, &MyDiFtdi::tcpSock_readResponse_cb);
        connect(socket, &QTcpSocket::connected, this, &MyDiFtdi::on_tcpSock_connected);
        connect(socket, &QAbstractSocket::errorOccurred, this,
                [this, socket](QAbstractSocket::SocketError error) {
                    logSocketError(socket, "Error occured on TCP :", error);
                    // A TCP socket in error is of no further use: before the session is open it ends the
                    // open's wait at once (a refused connection), after it the link.
                    if (socket != tcpSock.get())
                        return;
                    if (transport == TransportNone) {
                        const auto [code, why] = openFailureOf(socket, error);
                        failOpen(code, why);
                    } else {
                        dropTransport("TCP error");
                    }
                });
        connect(socket, &QAbstractSocket::disconnected, this, [this, socket] {
            if (socket == tcpSock.get())
                dropTransport("TCP connection closed by the module");
        });
        socket->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    } else {
        udpSock.reset(new QUdpSocket);
        connect(udpSock.get(), &QUdpSocket::readyRead, this, &MyDiFtdi::udpSock_readResponse_cb);
        connect(udpSock.get(), &QAbstractSocket::errorOccurred, this, &MyDiFtdi::on_udpSock_error);
        connect(udpSock.get(), &QUdpSocket::connected, this, &MyDiFtdi::on_udpSock_connected);
        udpSock->connectToHost(host, port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
    }

    // The LOGIN goes out and its answer comes back through the socket slots during this wait.
    QElapsedTimer clock;
    clock.start();
    for (qint64 left = ethOpenWaitMs; left > 0 && sessionState == SessionClosed && openFailure.isEmpty();
         left = ethOpenWaitMs - clock.elapsed())
        runEventSlice(static_cast<int>(qMin<qint64>(left, waitSliceMs)), this);

    if (sessionState != SessionOpened || !openFailure.isEmpty()) {
        abortSockets();
        if (sessionState == SessionAuthFailed)
            return failOpen(OpenAuthFailed, QStringLiteral("the module refused the password (Auth failed)"));
        if (accessDenied)
            return failOpen(OpenAccessDenied, QStringLiteral("the module denied access (Access denied)"));
        return failOpen(OpenNoLoginAnswer,
                        QStringLiteral("no answer to LOGIN within %1 s").arg(ethOpenWaitMs / 1000.0));
    }

    helloTimer.reset(new QTimer);
    helloTimer->setInterval(helloPeriodMs);
    connect(helloTimer.get(), &QTimer::timeout, this, &MyDiFtdi::on_helloTimer_timeout_cb);
    helloTimer->start();
    connected = true;
    emit connectStateChanged(true);
    transport = TransportEth;
    return 1;
}

void MyDiFtdi::closeEth()
{
    if (helloTimer) {
        helloTimer->stop();
        helloTimer.reset();
    }
    // Taken out of the members before the wait: an "Access denied" read during the wait closes the
    // link again, and that inner close must find nothing left to log out.
    DeferredPtr<QAbstractSocket> socket;
    if (udpSock)
        socket = std::move(udpSock);
    else if (tcpSock)
        socket = std::move(tcpSock);
    else
        return;

    socket->write("LOGOUT");
    emit traffic(true, RxTextLine, QByteArrayLiteral("LOGOUT"));
    // The module does not answer LOGOUT; what it still sends meanwhile is received as usual.
    waitMs(ethLogoutWaitMs);
    socket->disconnect(this);
    // Closed from inside the socket's own readyRead (an "Access denied" line), the socket announces
    // nothing more until that slot returns: take what came during the wait before letting it go.
    const QByteArray late = socket->readAll();
    socket->disconnectFromHost();
    socket.reset();
    if (!late.isEmpty())
        receivePass(late);
    endEthSession();
}

// The module went away or refused: no LOGOUT, which nothing would read, and no wait for it.
void MyDiFtdi::abortEth()
{
    if (helloTimer) {
        helloTimer->stop();
        helloTimer.reset();
    }
    abortSockets();
    endEthSession();
}

void MyDiFtdi::abortSockets()
{
    // Cut the signals first: a late "Session opened" must not reach the next open.
    for (QAbstractSocket *socket :
         {static_cast<QAbstractSocket *>(udpSock.get()), static_cast<QAbstractSocket *>(tcpSock.get())}) {
        if (socket) {
            socket->disconnect(this);
            socket->abort();
        }
    }
    udpSock.reset();
    tcpSock.reset();
}

void MyDiFtdi::endEthSession()
{
    markDisconnected();
    setSessionState(SessionClosed);
}

int MyDiFtdi::writeEth(const QByteArray &bytes)
{
    if (udpSock)
        return static_cast<int>(udpSock->write(bytes));
    if (tcpSock)
        return static_cast<int>(tcpSock->write(bytes));
    return -1;
}

void MyDiFtdi::treatInfo(const RxItem &item)
{
    if (item.kind != RxTextLine)
        return;
    // Every received line passes here, most of them no session line: the tests read the bytes in
    // place and cost a compare or two.
    const char *const text = item.data.constData();
    const auto *nul = static_cast<const char *>(std::memchr(text, 0, size_t(item.data.size())));
    const int length = nul ? int(nul - text) : int(item.data.size());
    const auto startsWith = [text, length](const auto &prefix) { // a string literal
        const int prefixLength = int(sizeof(prefix)) - 1;
        return length >= prefixLength && std::memcmp(text, prefix, size_t(prefixLength)) == 0;
    };
    if (startsWith("INFO:Auth failed")) {
        setSessionState(SessionAuthFailed);
    } else if (startsWith("INFO:Access denied")) {
        // Both forms, "INFO:Access denied" and "INFO:Access denied. Open a session:INFO".
        accessDenied = true;
        close();
        setSessionState(SessionClosed);
    } else if (startsWith("INFO:Session opened")) {
        setSessionState(SessionOpened);
    } else if (startsWith("MOD_VERSION=")) {
        const QByteArray line = item.data.left(length);
        ethVersion = versionAfter(line, "=ETH_V");
        stackVersion = versionAfter(line, "-STK_V");
    }
}

void MyDiFtdi::setSessionState(SessionState state)
{
    sessionState = state;
    emit sessionStateChanged(state);
}

bool MyDiFtdi::sendHello()
{
    QAbstractSocket *socket = udpSock ? static_cast<QAbstractSocket *>(udpSock.get()) : tcpSock.get();
    if (transport != TransportEth || !connected || sessionState != SessionOpened || !socket)
        return false;
    socket->write("HELLO");
    emit traffic(true, RxTextLine, QByteArrayLiteral("HELLO"));
    return true;
}

void MyDiFtdi::on_helloTimer_timeout_cb()
{
    if (sendHello()) {
        // The keep-alive shows up among the received items like a line from the module (treatInfo has
        // nothing to do with it). It is queued as an item of its own, not through rxBuffer: there it would
        // join a frame or line the module has half sent, and that unit would be lost. Made here, not
        // received: it stays out of the traffic view (the HELLO itself shows as sent).
        const QByteArray echo = QByteArray("INFO:") + "HELLO" + ":INFO\r\n";
        rxItems.push_back(RxItem{RxTextLine, true, echo});
        emitIfItems();
        return;
    }

    auto *timer = qobject_cast<QTimer *>(sender());
    if (!timer) {
        qCDebug(lcLink) << "Error Unable to get handle of timer to stop it";
        return;
    }
    if (timer != helloTimer.get()) {
        qCDebug(lcLink) << "Error sender timer handle differs from handle of helloTimer";
        return;
    }
    helloTimer->stop();
    helloTimer.reset();
    qCDebug(lcLink) << "helloTimer stop due to session or link error";
}

void MyDiFtdi::udpSock_readResponse_cb()
{
    auto *socket = qobject_cast<QUdpSocket *>(sender());
    if (!socket)
        return;
    // One whole datagram per pass. readAll() would read the socket in 16 KB chunks, and the kernel
    // drops the rest of a longer datagram; it would also drain every datagram queued, so that a
    // module flooding the socket (each frame acknowledged in the pass) kept the event loop from
    // turning. Datagrams left queued announce themselves again on the next turn. No peeking first:
    // a peek would swallow a refused datagram's error (port unreachable), which the read reports
    // through errorOccurred.
    QByteArray datagram(maxDatagramSize, Qt::Uninitialized);
    datagram.truncate(int(qMax<qint64>(0, socket->readDatagram(datagram.data(), datagram.size()))));
    receivePass(datagram);
}

void MyDiFtdi::on_udpSock_error(QAbstractSocket::SocketError socketError)
{
    auto *socket = qobject_cast<QAbstractSocket *>(sender());
    logSocketError(socket, "Error occured on UDP :", socketError);
    // A refused datagram means that nothing listens at the module's port any more: the module went
    // away or restarted, and its session with it. Other errors (network briefly unreachable, a
    // datagram too large) leave the link up; a request that gets no answer reports itself.
    if (!socket || socket != udpSock.get())
        return;
    // During the open, a refused LOGIN or an unknown host ends the wait at once.
    if (transport == TransportNone) {
        const auto [code, why] = openFailureOf(socket, socketError);
        failOpen(code, why);
    } else if (socketError == QAbstractSocket::ConnectionRefusedError)
        dropTransport("module port refused the datagram");
}

void MyDiFtdi::on_udpSock_connected()
{
    auto *socket = qobject_cast<QUdpSocket *>(sender());
    if (!socket)
        return;
    qCDebug(lcLink) << "Connected" << socket->peerAddress() << socket->peerName() << socket->peerPort();
    // Room for a burst while the window is busy or waits for a core: with the system's default
    // (about 200 KB on Linux, 64 KB on Windows) a module sending fast fills it within a few tens of
    // milliseconds and the kernel drops the rest, frames asking for an acknowledgement among them.
    // The system may grant less (Linux: net.core.rmem_max).
    socket->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, udpReceiveBufferBytes);
    emit traffic(true, RxTextLine, loginTrace(password));
    if (!sendLogin(socket, password)) {
        qCWarning(lcLink) << "Unable to encrypt password";
        if (socket == udpSock.get()) {
            socket->disconnect(this);
            udpSock.reset();
        }
    }
}

void MyDiFtdi::tcpSock_readResponse_cb()
{
    if (auto *socket = qobject_cast<QTcpSocket *>(sender()))
        receivePass(socket->readAll());
}

void MyDiFtdi::on_tcpSock_connected()
{
    auto *socket = qobject_cast<QTcpSocket *>(sender());
    if (!socket)
        return;
    qCDebug(lcLink) << "Connected" << socket->peerAddress() << socket->peerName() << socket->peerPort();
    emit traffic(true, RxTextLine, loginTrace(password));
    if (!sendLogin(socket, password)) {
        qCWarning(lcLink) << "Unable to encrypt password";
        if (socket == tcpSock.get()) {
            socket->disconnect(this);
            tcpSock.reset();
        }
    }
}
