#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

#ifndef SIM_EXECUTABLE
#error "SIM_EXECUTABLE must name the telvoran-bus-sim program"
#endif

namespace {

const QByteArray pcAck("\x02"
                       "F90101FB\x03");
const QByteArray moduleTable("\x02"
                             "BD041600F0000000083F12D6870000030080\x03");

} // namespace

// The installed program, started as a script would: endpoint line first, then a scan over UDP.
class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void scanOverUdp();
    void rejectsBadModule();

private:
    static QByteArray nextDatagram(QUdpSocket &client);
};

QByteArray TestSimProcess::nextDatagram(QUdpSocket &client)
{
    if (!QTest::qWaitFor([&client] { return client.hasPendingDatagrams(); }, 3000))
        return QByteArray();
    return client.receiveDatagram().data();
}

void TestSimProcess::scanOverUdp()
{
    QProcess sim;
    sim.start(QStringLiteral(SIM_EXECUTABLE), {"--udp", "127.0.0.1:0", "--scan-ms", "0"});
    QVERIFY2(sim.waitForStarted(5000), qPrintable(sim.errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
    const QString endpoint = QString::fromUtf8(sim.readLine()).trimmed();
    const QRegularExpressionMatch match = QRegularExpression("^UDP 127\\.0\\.0\\.1:(\\d+)$").match(endpoint);
    QVERIFY2(match.hasMatch(), qPrintable(endpoint));
    const quint16 port = quint16(match.captured(1).toUInt());
    QVERIFY(port != 0);

    QUdpSocket client;
    QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
    client.writeDatagram("LOGIN", QHostAddress::LocalHost, port);
    QCOMPARE(nextDatagram(client), QByteArray("INFO:Session opened\r\n"));
    QCOMPARE(nextDatagram(client), QByteArray("MOD_VERSION=ETH_V12-STK_V34\r\n"));
    client.writeDatagram("\x02"
                         "BD0131EF\x03",
                         QHostAddress::LocalHost, port);
    QCOMPARE(nextDatagram(client), QByteArray("\x02"
                                              "F90401FE\x03"));
    QList<QByteArray> reports;
    for (int i = 0; i < 4; ++i) {
        reports.append(nextDatagram(client));
        client.writeDatagram(pcAck, QHostAddress::LocalHost, port);
    }
    QCOMPARE(reports.at(2), moduleTable);
    QCOMPARE(reports.at(3), QByteArray("\x02"
                                       "BD04630125\x03"));
    client.writeDatagram("LOGOUT", QHostAddress::LocalHost, port);

    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += sim.readAll()).contains("session closed (LOGOUT)"), 3000);
    QVERIFY(log.contains("BUS->PC COTRANSTABLE  0 -> 1  data 00 F0 00 00 00 08 3F 12 D6 87 00 00 03 00"));

    sim.terminate();
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    QVERIFY(sim.readAll().endsWith("closed\n"));
}

void TestSimProcess::rejectsBadModule()
{
    QProcess sim;
    sim.start(QStringLiteral(SIM_EXECUTABLE), {"--module", "LUX42:0x1000000:3"});
    QVERIFY(sim.waitForFinished(5000));
    QCOMPARE(sim.exitCode(), 2);
    QVERIFY(sim.readAllStandardError().contains("serial number 0x1000000 is not a 24-bit number"));
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
