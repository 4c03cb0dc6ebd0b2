#include "fakeethmodule.h"

#include <QNetworkDatagram>

FakeEthModule::FakeEthModule(Transport transport)
    : transport(transport)
{
    if (transport == Udp) {
        udp.bind(QHostAddress(QHostAddress::LocalHost), 0);
        connect(&udp, &QUdpSocket::readyRead, this, [this] {
            while (udp.hasPendingDatagrams()) {
                const QNetworkDatagram datagram = udp.receiveDatagram();
                linkAddress = datagram.senderAddress();
                linkPort = quint16(datagram.senderPort());
                onMessage(datagram.data());
            }
        });
        return;
    }
    server.listen(QHostAddress(QHostAddress::LocalHost), 0);
    connect(&server, &QTcpServer::newConnection, this, [this] {
        client = server.nextPendingConnection();
        connect(client, &QTcpSocket::readyRead, this, [this] { onMessage(client->readAll()); });
    });
}

QString FakeEthModule::url(const QString &userInfo) const
{
    const quint16 port = transport == Udp ? udp.localPort() : server.serverPort();
    return QLatin1String(transport == Udp ? "udp://" : "tcp://") + userInfo +
           QLatin1String(userInfo.isEmpty() ? "" : "@") + "127.0.0.1:" + QString::number(port);
}

void FakeEthModule::send(const QByteArray &bytes)
{
    if (transport == Udp)
        udp.writeDatagram(bytes, linkAddress, linkPort);
    else if (client)
        client->write(bytes);
}

void FakeEthModule::stop()
{
    udp.close();
    server.close();
}

void FakeEthModule::onMessage(const QByteArray &message)
{
    messages.append(message);
    if (message.startsWith("LOGIN") && !loginReply.isEmpty())
        send(loginReply);
}
