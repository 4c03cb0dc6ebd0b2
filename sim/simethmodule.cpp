#include "simethmodule.h"

#include "buscodes.h"
#include "framelog.h"
#include "myframedec.h"
#include "simbus.h"
#include "simflooder.h"
#include "simloginchecker.h"

#include <QElapsedTimer>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>

namespace {

const QByteArray sessionOpened("INFO:Session opened\r\n");
const QByteArray authFailed("INFO:Auth failed\r\n");
const QByteArray accessDenied("INFO:Access denied. Open a session:INFO\r\n");
const QByteArray moduleVersion("MOD_VERSION=ETH_V12-STK_V34\r\n");
const QByteArray discoverProbe("DISCOVER QNTX07");
const QByteArray discoverAnswer("INFO:I AM NTX07\r\n");

QString lineText(const QByteArray &line)
{
    return QString::fromLatin1(line).trimmed();
}

} // namespace

QString SimEthModule::Peer::text() const
{
    return QStringLiteral("%1:%2").arg(address.toString()).arg(port);
}

SimEthModule::SimEthModule(SimBus *bus, FrameLog *log, QObject *parent)
    : QObject(parent)
    , bus(bus)
    , log(log)
{
    connect(bus, &SimBus::frameOut, this, &SimEthModule::sendToSession);
}

SimEthModule::~SimEthModule()
{
    stop();
}

bool SimEthModule::start(Transport transport, const QHostAddress &host, quint16 port, QString &error)
{
    stop();
    this->transport = transport;
    if (transport == Udp) {
        udp = new QUdpSocket(this);
        if (!udp->bind(host, port)) {
            error = QStringLiteral("UDP %1:%2: %3").arg(host.toString()).arg(port).arg(udp->errorString());
            stop();
            return false;
        }
        connect(udp, &QUdpSocket::readyRead, this, &SimEthModule::readDatagrams);
        return true;
    }
    server = new QTcpServer(this);
    if (!server->listen(host, port)) {
        error = QStringLiteral("TCP %1:%2: %3").arg(host.toString()).arg(port).arg(server->errorString());
        stop();
        return false;
    }
    connect(server, &QTcpServer::newConnection, this, &SimEthModule::acceptConnections);
    return true;
}

void SimEthModule::stop()
{
    for (QTcpSocket *socket : streams.keys()) {
        socket->disconnect(this);
        socket->abort();
        socket->deleteLater();
    }
    streams.clear();
    if (server) {
        server->disconnect(this);
        server->close();
        server->deleteLater();
        server = nullptr;
    }
    if (udp) {
        udp->disconnect(this);
        udp->close();
        udp->deleteLater();
        udp = nullptr;
    }
    session = Peer();
}

QString SimEthModule::endpointText() const
{
    if (udp)
        return QStringLiteral("UDP %1:%2").arg(udp->localAddress().toString()).arg(udp->localPort());
    if (server)
        return QStringLiteral("TCP %1:%2").arg(server->serverAddress().toString()).arg(server->serverPort());
    return QString();
}

quint16 SimEthModule::localPort() const
{
    if (udp)
        return udp->localPort();
    return server ? server->serverPort() : 0;
}

void SimEthModule::readDatagrams()
{
    while (udp && udp->hasPendingDatagrams())
        handleDatagram(udp->receiveDatagram());
}

void SimEthModule::handleDatagram(const QNetworkDatagram &datagram)
{
    if (floodBytes > 0 && datagram.data() == "FLOOD") {
        if (!flooding)
            floodSession();
        return;
    }
    // The toolbox's search for modules on the network: the module says what it is, from its port.
    if (datagram.data() == discoverProbe) {
        Peer prober;
        prober.valid = true;
        prober.address = datagram.senderAddress();
        prober.port = quint16(datagram.senderPort());
        sendText(prober, discoverAnswer);
        return;
    }
    Peer peer;
    peer.valid = true;
    peer.address = datagram.senderAddress();
    peer.port = quint16(datagram.senderPort());
    // A datagram is complete in itself: frames never continue into the next one.
    SimStreamCutter cutter(true);
    cutter.append(datagram.data());
    SimStreamCutter::Item item;
    while (cutter.takeRest(item))
        handle(peer, item);
}

void SimEthModule::acceptConnections()
{
    while (QTcpSocket *socket = server->nextPendingConnection()) {
        streams.insert(socket, SimStreamCutter(true));
        if (log)
            log->session(peerOf(socket).text(), QStringLiteral("connected"));
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readConnection(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] { dropConnection(socket); });
    }
}

void SimEthModule::readConnection(QTcpSocket *socket)
{
    auto stream = streams.find(socket);
    if (stream == streams.end())
        return;
    stream->append(socket->readAll());
    const Peer peer = peerOf(socket);
    SimStreamCutter::Item item;
    // handle() may drop the connection (and with it the cutter), so look it up after every item.
    while ((stream = streams.find(socket)) != streams.end() && stream->take(item))
        handle(peer, item);
    if (stream != streams.end() && SimLoginChecker::isBare(stream->pending()))
        QTimer::singleShot(bareLoginQuietMs, socket, [this, socket] { flushQuietLogin(socket); });
}

void SimEthModule::flushQuietLogin(QTcpSocket *socket)
{
    auto stream = streams.find(socket);
    if (stream == streams.end() || !SimLoginChecker::isBare(stream->pending()))
        return;
    SimStreamCutter::Item item;
    if (stream->takeRest(item))
        handle(peerOf(socket), item);
}

void SimEthModule::dropConnection(QTcpSocket *socket)
{
    if (!streams.remove(socket))
        return;
    if (log)
        log->session(peerOf(socket).text(), QStringLiteral("disconnected"));
    if (session.valid && session.socket == socket)
        closeSession(QStringLiteral("connection closed"));
    socket->disconnect(this);
    socket->deleteLater();
}

void SimEthModule::handle(const Peer &peer, const SimStreamCutter::Item &item)
{
    const bool inSession = session.valid && session == peer;
    switch (item.kind) {
    case SimStreamCutter::Login:
        handleLogin(peer, item.data);
        break;
    case SimStreamCutter::Hello:
        if (inSession) {
            if (log)
                log->session(peer.text(), QStringLiteral("HELLO: session kept alive"));
        } else {
            sendText(peer, accessDenied);
        }
        break;
    case SimStreamCutter::Logout:
        if (inSession)
            closeSession(QStringLiteral("LOGOUT"));
        else if (log)
            log->session(peer.text(), QStringLiteral("LOGOUT without a session: ignored"));
        break;
    case SimStreamCutter::Frame:
        handleFrame(peer, item.data);
        break;
    case SimStreamCutter::Noise:
        if (log)
            log->session(peer.text(),
                         QStringLiteral("ignored bytes: %1").arg(FrameLog::printable(item.data)));
        break;
    }
}

void SimEthModule::handleLogin(const Peer &peer, const QByteArray &datagram)
{
    QString how;
    const bool accepted = loginAccepted(datagram, how);
    if (log)
        log->session(peer.text(), QStringLiteral("LOGIN (%1)").arg(how));
    if (!accepted) {
        if (session.valid && session == peer)
            closeSession(QStringLiteral("failed LOGIN"));
        sendText(peer, authFailed);
        return;
    }
    openSession(peer);
    sendText(peer, sessionOpened);
    sendText(peer, moduleVersion);
}

void SimEthModule::handleFrame(const Peer &peer, const QByteArray &wire)
{
    if (!(session.valid && session == peer)) {
        if (log)
            log->session(peer.text(),
                         QStringLiteral("frame outside a session: %1").arg(FrameLog::printable(wire)));
        sendText(peer, accessDenied);
        return;
    }
    if (countFloodAck(wire))
        return;
    bus->receiveText(wire);
}

bool SimEthModule::countFloodAck(const QByteArray &wire)
{
    if (floodFrames < 0)
        return false;
    const MyFrameDec frame(wire, false);
    if (!frame.isValid() || frame.command() != commandCoackn)
        return false;
    ++floodAcks;
    floodQuiet->start();
    return true;
}

void SimEthModule::endFloodCount()
{
    if (floodFrames < 0)
        return;
    if (log)
        log->event(QStringLiteral("flood acknowledgements: %1 of %2 frames").arg(floodAcks).arg(floodFrames));
    floodFrames = -1;
}

bool SimEthModule::loginAccepted(const QByteArray &datagram, QString &how) const
{
    const bool bare = SimLoginChecker::isBare(datagram);
    if (password.isEmpty()) {
        how = bare ? QStringLiteral("bare, accepted")
                   : QStringLiteral("encoded, accepted without a password check");
        return true;
    }
    if (bare) {
        how = QStringLiteral("bare, but a password is required");
        return false;
    }
    if (SimLoginChecker::matches(datagram, password)) {
        how = QStringLiteral("password matches");
        return true;
    }
    how = QStringLiteral("wrong password or malformed");
    return false;
}

void SimEthModule::openSession(const Peer &peer)
{
    if (session.valid && !(session == peer))
        closeSession(QStringLiteral("taken over by %1").arg(peer.text()));
    const bool wasOpen = session.valid;
    session = peer;
    if (log)
        log->session(peer.text(), QStringLiteral("session opened"));
    if (!wasOpen)
        emit sessionChanged(true);
}

void SimEthModule::closeSession(const QString &why)
{
    if (!session.valid)
        return;
    if (log)
        log->session(session.text(), QStringLiteral("session closed (%1)").arg(why));
    session = Peer();
    emit sessionChanged(false);
}

void SimEthModule::sendText(const Peer &peer, const QByteArray &line)
{
    if (log)
        log->session(peer.text(), QStringLiteral("<- %1").arg(lineText(line)));
    write(peer, line);
}

void SimEthModule::sendToSession(const QByteArray &wire)
{
    if (!session.valid) {
        if (log)
            log->event(QStringLiteral("  no session open: %1 not sent").arg(FrameLog::printable(wire)));
        return;
    }
    write(session, wire);
}

void SimEthModule::write(const Peer &peer, const QByteArray &bytes)
{
    if (peer.socket) {
        // On the wire now, as the frame log already says: a simulator killed before its event loop
        // turns again must not take a logged frame with it.
        peer.socket->write(bytes);
        peer.socket->flush();
        return;
    }
    if (udp && transport == Udp)
        udp->writeDatagram(bytes, peer.address, peer.port);
}

void SimEthModule::floodSession()
{
    if (!session.valid) {
        if (log)
            log->event(QStringLiteral("flood: no session"));
        return;
    }
    endFloodCount();
    if (!floodQuiet) {
        floodQuiet = new QTimer(this);
        floodQuiet->setSingleShot(true);
        floodQuiet->setInterval(floodQuietMs);
        connect(floodQuiet, &QTimer::timeout, this, &SimEthModule::endFloodCount);
    }
    // The flood holds the loop while the acknowledgements come back; room for them so that none is
    // lost on this side (the system may grant less).
    udp->setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 8 << 20);
    floodFrames = 0;
    floodAcks = 0;
    flooding = true;
    QElapsedTimer clock;
    clock.start();
    const SimFlooder::Sent sent = SimFlooder::flood(*udp, session.address, session.port, modeEthernetPc,
                                                    floodBytes, floodMs, [this] { readDatagrams(); });
    flooding = false;
    floodFrames = sent.frames;
    floodQuiet->start();
    if (log)
        log->event(QStringLiteral("flood: %1 bytes in %2 ms, %3 frames asking for an acknowledgement")
                       .arg(sent.bytes)
                       .arg(clock.elapsed())
                       .arg(sent.frames));
}

SimEthModule::Peer SimEthModule::peerOf(QTcpSocket *socket)
{
    Peer peer;
    peer.valid = true;
    peer.address = socket->peerAddress();
    peer.port = socket->peerPort();
    peer.socket = socket;
    return peer;
}
