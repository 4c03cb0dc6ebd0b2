#ifndef SIMETHMODULE_H
#define SIMETHMODULE_H

#include "simstreamcutter.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

class FrameLog;
class QTcpServer;
class QNetworkDatagram;
class QTimer;
class QUdpSocket;
class SimBus;

// The Ethernet interface module: a small text session (LOGIN, HELLO, LOGOUT, INFO lines) around the
// bus frames, over UDP datagrams or a TCP stream on a loopback address. One PC holds the session at
// a time; the bus's frames go to it.
class SimEthModule : public QObject
{
    Q_OBJECT

public:
    enum Transport { Udp, Tcp };

    // A bare "LOGIN" on a stream is taken once the stream stays quiet this long after it; an
    // encoded LOGIN would have followed at once.
    static constexpr int bareLoginQuietMs = 100;
    // A flood's acknowledgements are counted until none has come for this long.
    static constexpr int floodQuietMs = 1000;

    // The bus and the log are not owned; the log may be null.
    SimEthModule(SimBus *bus, FrameLog *log, QObject *parent = nullptr);
    ~SimEthModule() override;

    // Empty: any LOGIN opens the session.
    void setPassword(const QString &password) { this->password = password; }
    // Arms the "FLOOD" datagram (0 bytes: it is ignored like any noise).
    void setFlood(qint64 bytes, int ms)
    {
        floodBytes = bytes;
        floodMs = ms;
    }
    bool start(Transport transport, const QHostAddress &host, quint16 port, QString &error);
    void stop();
    // "UDP 127.0.0.1:17481" or "TCP ...", with the port actually bound.
    QString endpointText() const;
    quint16 localPort() const;
    bool hasSession() const { return session.valid; }

signals:
    void sessionChanged(bool open);

private:
    struct Peer
    {
        bool valid = false;
        QHostAddress address;
        quint16 port = 0;
        QPointer<QTcpSocket> socket; // null over UDP

        bool operator==(const Peer &other) const
        {
            return valid == other.valid && address == other.address && port == other.port &&
                   socket == other.socket;
        }
        QString text() const;
    };

    void readDatagrams();
    void handleDatagram(const QNetworkDatagram &datagram);
    bool countFloodAck(const QByteArray &wire);
    void endFloodCount();
    void acceptConnections();
    void readConnection(QTcpSocket *socket);
    void flushQuietLogin(QTcpSocket *socket);
    void dropConnection(QTcpSocket *socket);
    void handle(const Peer &peer, const SimStreamCutter::Item &item);
    void handleLogin(const Peer &peer, const QByteArray &datagram);
    void handleFrame(const Peer &peer, const QByteArray &wire);
    bool loginAccepted(const QByteArray &datagram, QString &how) const;
    void openSession(const Peer &peer);
    void closeSession(const QString &why);
    void sendText(const Peer &peer, const QByteArray &line);
    void sendToSession(const QByteArray &wire);
    void write(const Peer &peer, const QByteArray &bytes);
    void floodSession();
    static Peer peerOf(QTcpSocket *socket);

    SimBus *bus;
    FrameLog *log;
    QString password;
    Transport transport = Udp;
    QUdpSocket *udp = nullptr;
    QTcpServer *server = nullptr;
    QHash<QTcpSocket *, SimStreamCutter> streams;
    Peer session;
    qint64 floodBytes = 0;
    int floodMs = 0;
    // From a flood's start until the PC has been quiet for a while, its acknowledgements are counted
    // here instead of reaching the bus: the summary line says whether each frame got exactly one.
    bool flooding = false;
    qint64 floodFrames = -1; // -1: no count open
    qint64 floodAcks = 0;
    QTimer *floodQuiet = nullptr;
};

#endif // SIMETHMODULE_H
