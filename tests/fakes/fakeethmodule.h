#ifndef FAKEETHMODULE_H
#define FAKEETHMODULE_H

#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

// Plays the Ethernet interface module on a free port of 127.0.0.1, over UDP or TCP: answers every
// LOGIN with a scripted line, records what the link sends, and sends what a test asks for.
class FakeEthModule : public QObject
{
    Q_OBJECT

public:
    enum Transport { Udp, Tcp };

    explicit FakeEthModule(Transport transport = Udp);
    // "udp://127.0.0.1:PORT" (or tcp), with optional user information before the host.
    QString url(const QString &userInfo = QString()) const;
    void send(const QByteArray &bytes);
    // Closes the port: what the link sends afterwards meets a closed port.
    void stop();
    QByteArray stream() const { return messages.join(); }

    QByteArray loginReply = "INFO:Session opened\r\n"; // empty: the module stays silent
    QByteArrayList messages;                           // UDP: one per datagram; TCP: one per read

private:
    void onMessage(const QByteArray &message);

    Transport transport;
    QUdpSocket udp;
    QTcpServer server;
    QPointer<QTcpSocket> client;
    QHostAddress linkAddress;
    quint16 linkPort = 0;
};

#endif // FAKEETHMODULE_H
