#include "mydiftdi.h"
#include "simbus.h"
#include "simethmodule.h"
#include "simptyport.h"

#include <QNetworkDatagram>
#include <QSerialPort>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QByteArray sessionOpened("INFO:Session opened\r\n");
const QByteArray authFailed("INFO:Auth failed\r\n");

QByteArray encodedLogin(const QString &password)
{
    QByteArray login;
    MyDiFtdi::encodeLogin(login, password, QDateTime(QDate(2026, 3, 3), QTime(14, 5)));
    return login;
}

} // namespace

// The fronts as a PC sees them: the Ethernet module's UDP session, the serial line on a pty.
class TestSimFronts : public QObject
{
    Q_OBJECT

    SimBus bus{{SimModule{63, 0x12D687, 3}}, SimFaults(), nullptr};

    std::unique_ptr<SimEthModule> module;
    std::unique_ptr<QUdpSocket> client;

    QByteArray next()
    {
        if (!QTest::qWaitFor([this] { return client->hasPendingDatagrams(); }, 2000))
            return QByteArray();
        return client->receiveDatagram().data();
    }
    QByteArray exchange(const QByteArray &datagram)
    {
        client->writeDatagram(datagram, QHostAddress::LocalHost, module->localPort());
        return next();
    }

private slots:
    void init()
    {
        module = std::make_unique<SimEthModule>(&bus, nullptr);
        client = std::make_unique<QUdpSocket>();
        QVERIFY(client->bind(QHostAddress(QHostAddress::LocalHost), 0));
    }
    void cleanup()
    {
        client.reset();
        module.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void login_data()
    {
        QTest::addColumn<QString>("modulePassword");
        QTest::addColumn<QByteArray>("login");
        QTest::addColumn<QByteArray>("answer");
        QTest::newRow("bare, no password") << QString() << QByteArray("LOGIN") << sessionOpened;
        QTest::newRow("encoded, no password") << QString() << encodedLogin("whatever") << sessionOpened;
        QTest::newRow("right password") << "Secret-42" << encodedLogin("Secret-42") << sessionOpened;
        QTest::newRow("wrong password") << "Secret-42" << encodedLogin("Secret-43") << authFailed;
        QTest::newRow("bare with password") << "Secret-42" << QByteArray("LOGIN") << authFailed;
        QTest::newRow("truncated") << "Secret-42" << encodedLogin("Secret-42").left(20) << authFailed;
    }

    void login()
    {
        QFETCH(QString, modulePassword);
        QFETCH(QByteArray, login);
        QFETCH(QByteArray, answer);
        module->setPassword(modulePassword);
        QString error;
        QVERIFY2(module->start(SimEthModule::Udp, QHostAddress::LocalHost, 0, error), qPrintable(error));
        QCOMPARE(exchange(login), answer);
        QCOMPARE(module->hasSession(), answer == sessionOpened);
        if (module->hasSession())
            QCOMPARE(next(), QByteArray("MOD_VERSION=ETH_V12-STK_V34\r\n"));
    }

    void framesOutsideSessionDenied()
    {
        QString error;
        QVERIFY2(module->start(SimEthModule::Udp, QHostAddress::LocalHost, 0, error), qPrintable(error));
        QSignalSpy toBus(&bus, &SimBus::frameOut);
        const QByteArray denied("INFO:Access denied. Open a session:INFO\r\n");
        QCOMPARE(exchange('\x02' + QByteArray("BD0131EF") + '\x03'), denied);
        QCOMPARE(exchange("HELLO"), denied);
        QVERIFY(!bus.isScanning());
        QCOMPARE(toBus.count(), 0);
    }

    // Noise first, then the scan request cut in two, as a serial line may deliver it.
    void scanOverSerialLine()
    {
        SimPtyPort pty(&bus, nullptr);
        QString error;
        QVERIFY2(pty.open(error), qPrintable(error));
        QSerialPort port(pty.slavePath());
        QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
        port.write("xx\x02"
                   "BD02");
        QVERIFY(port.waitForBytesWritten(1000));
        QTest::qWait(30);
        port.write("31F0\x03");
        const QByteArray ackAndStart("\x02"
                                     "F9080102\x03\x02"
                                     "BD0863022A\x03");
        QByteArray received;
        QTRY_VERIFY_WITH_TIMEOUT((received += port.readAll()).size() >= ackAndStart.size(), 2000);
        QCOMPARE(received, ackAndStart);
    }
};

QTEST_GUILESS_MAIN(TestSimFronts)
#include "tst_simfronts.moc"
