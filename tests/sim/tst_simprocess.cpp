#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QUdpSocket>
#include <QtTest>

#ifndef SIM_EXECUTABLE
#error "SIM_EXECUTABLE must name the telvoran-bus-sim program"
#endif

// The installed program, started as a script would: endpoint line first, then a scan over UDP.
class TestSimProcess : public QObject
{
    Q_OBJECT

private slots:
    void scanOverUdp()
    {
        QProcess sim;
        sim.start(QStringLiteral(SIM_EXECUTABLE), {"--udp", "127.0.0.1:0", "--scan-ms", "0"});
        QVERIFY2(sim.waitForStarted(5000), qPrintable(sim.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 5000);
        const QString endpoint = QString::fromUtf8(sim.readLine()).trimmed();
        const auto match = QRegularExpression("^UDP 127\\.0\\.0\\.1:([1-9]\\d*)$").match(endpoint);
        QVERIFY2(match.hasMatch(), qPrintable(endpoint));
        const quint16 port = quint16(match.captured(1).toUInt());

        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
        QList<QByteArray> received;
        const auto exchange = [&](const QByteArray &datagram, int answers) {
            client.writeDatagram(datagram, QHostAddress::LocalHost, port);
            for (int i = 0; i < answers; ++i) {
                if (!QTest::qWaitFor([&client] { return client.hasPendingDatagrams(); }, 3000))
                    return;
                received.append(client.receiveDatagram().data());
            }
        };
        const auto framed = [](const char *hex) { return '\x02' + QByteArray(hex) + '\x03'; };
        exchange("LOGIN", 2);
        exchange(framed("BD0131EF"), 2);
        for (int report = 2; report <= 4; ++report)
            exchange(framed("F90101FB"), 1);
        exchange(framed("F90101FB"), 0);
        exchange("LOGOUT", 0);
        QCOMPARE(received,
                 (QList<QByteArray>{"INFO:Session opened\r\n", "MOD_VERSION=ETH_V12-STK_V34\r\n",
                                    framed("F90401FE"), framed("BD04630226"), framed("BD04370001F9"),
                                    framed("BD041600F0000000083F12D6870000030080"), framed("BD04630125")}));

        QByteArray log;
        QTRY_VERIFY_WITH_TIMEOUT((log += sim.readAll()).contains("session closed (LOGOUT)"), 3000);
        QVERIFY(log.contains("BUS->PC COTRANSTABLE  0 -> 1  data 00 F0 00 00 00 08 3F 12 D6 87 00 00 03 00"));
        sim.terminate();
        QVERIFY(sim.waitForFinished(5000));
        QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
        QCOMPARE(sim.exitCode(), 0);
        QVERIFY(sim.readAll().endsWith("closed\n"));
    }
};

QTEST_GUILESS_MAIN(TestSimProcess)
#include "tst_simprocess.moc"
