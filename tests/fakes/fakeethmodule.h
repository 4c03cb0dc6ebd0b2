#ifndef FAKEETHMODULE_H
#define FAKEETHMODULE_H

#include <QNetworkDatagram>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

// Plays the Ethernet interface module on a free 127.0.0.1 port: answers LOGIN, records what it gets.
class FakeEthModule : public QObject
{
    Q_OBJECT

public:
    enum Transport { Udp, Tcp };

    // Whether a datagram sent to a port where nothing listens comes back to the sender as an error
    // (the ICMP port-unreachable): it does on Linux and on Windows, not under Wine, whose sockets
    // never tell the application about it.
    static bool refusalsReported()
    {
#ifdef Q_OS_WIN
        return !GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version");
#else
        return true;
#endif
    }

    explicit FakeEthModule(Transport transport = Udp, const QHostAddress &host = QHostAddress::LocalHost)
        : transport(transport)
    {
        if (transport == Udp) {
            udp.bind(host, 0);
            connect(&udp, &QUdpSocket::readyRead, this, [this] {
                while (udp.hasPendingDatagrams())
                    onMessage((last = udp.receiveDatagram()).data());
            });
            return;
        }
        server.listen(QHostAddress(QHostAddress::LocalHost), 0);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            client = server.nextPendingConnection();
            connect(client, &QTcpSocket::readyRead, this, [this] { onMessage(client->readAll()); });
        });
    }
    QString url(const QString &userInfo = QString()) const // "udp://[userInfo@]127.0.0.1:PORT"
    {
        return QLatin1String(transport == Udp ? "udp://" : "tcp://") + userInfo +
               QLatin1String(userInfo.isEmpty() ? "" : "@") + "127.0.0.1:" + QString::number(port());
    }
    void send(const QByteArray &bytes)
    {
        if (transport == Udp)
            udp.writeDatagram(last.makeReply(bytes));
        else if (client)
            client->write(bytes);
    }
    quint16 port() const { return transport == Udp ? udp.localPort() : server.serverPort(); }
    quint16 peerPort() const { return quint16(last.senderPort()); } // of the latest datagram

    QByteArray loginReply = "INFO:Session opened\r\n"; // empty: the module stays silent
    QByteArrayList messages;                           // UDP: one per datagram; TCP: one per read

private:
    void onMessage(const QByteArray &message)
    {
        messages.append(message);
        if (message.startsWith("LOGIN") && !loginReply.isEmpty())
            send(loginReply);
    }

    Transport transport;
    QUdpSocket udp;
    QTcpServer server;
    QPointer<QTcpSocket> client;
    QNetworkDatagram last; // the link's latest datagram: where replies go
};

#endif // FAKEETHMODULE_H
