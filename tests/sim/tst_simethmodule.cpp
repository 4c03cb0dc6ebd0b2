#include "framelog.h"
#include "mydiftdi.h"
#include "simbus.h"
#include "simethmodule.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QTcpSocket>
#include <QUdpSocket>
#include <QtTest>

namespace {

const QByteArray sessionOpened("INFO:Session opened\r\n");
const QByteArray authFailed("INFO:Auth failed\r\n");
const QByteArray accessDenied("INFO:Access denied. Open a session:INFO\r\n");
const QByteArray scanOverUdp("\x02"
                             "BD0131EF\x03");
const QByteArray scanAck("\x02"
                         "F90401FE\x03");

QByteArray encodedLogin(const QString &password, const QDateTime &when)
{
    QByteArray login;
    MyDiFtdi::encodeLogin(login, password, when);
    return login;
}

} // namespace

class TestSimEthModule : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void login_data();
    void login();
    void framesOutsideSessionDenied();
    void busFramesGoToSessionPeer();
    void logoutEndsSession();
    void tcpSessionWithSplitFrames();

private:
    void startModule(SimEthModule::Transport transport, const QString &password);
    QByteArray nextDatagram();

    std::unique_ptr<SimBus> bus;
    std::unique_ptr<SimEthModule> module;
    std::unique_ptr<QUdpSocket> client;
};

void TestSimEthModule::init()
{
    bus = std::make_unique<SimBus>(QList<SimModule>{SimModule{63, 0x12D687, 3}}, SimFaults(), nullptr);
    bus->setScanMs(0);
    module = std::make_unique<SimEthModule>(bus.get(), nullptr);
    client = std::make_unique<QUdpSocket>();
    QVERIFY(client->bind(QHostAddress(QHostAddress::LocalHost), 0));
}

void TestSimEthModule::cleanup()
{
    client.reset();
    module.reset();
    bus.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestSimEthModule::startModule(SimEthModule::Transport transport, const QString &password)
{
    module->setPassword(password);
    QString error;
    QVERIFY2(module->start(transport, QHostAddress::LocalHost, 0, error), qPrintable(error));
    QVERIFY(module->localPort() != 0);
}

QByteArray TestSimEthModule::nextDatagram()
{
    // The module answers from the same event loop, so wait by running it.
    if (!QTest::qWaitFor([this] { return client->hasPendingDatagrams(); }, 2000))
        return QByteArray();
    return client->receiveDatagram().data();
}

void TestSimEthModule::login_data()
{
    QTest::addColumn<QString>("modulePassword");
    QTest::addColumn<QByteArray>("login");
    QTest::addColumn<QByteArray>("answer");

    const QDateTime when(QDate(2026, 3, 3), QTime(14, 5));
    const QDateTime now = QDateTime::currentDateTime();
    QTest::newRow("bare, no password") << QString() << QByteArray("LOGIN") << sessionOpened;
    QTest::newRow("encoded, no password") << QString() << encodedLogin("whatever", when) << sessionOpened;
    QTest::newRow("right password") << QStringLiteral("Secret-42") << encodedLogin("Secret-42", when)
                                    << sessionOpened;
    QTest::newRow("right password, now") << QStringLiteral("pw") << encodedLogin("pw", now) << sessionOpened;
    QTest::newRow("wrong password") << QStringLiteral("Secret-42") << encodedLogin("Secret-43", when)
                                    << authFailed;
    QTest::newRow("bare with password") << QStringLiteral("Secret-42") << QByteArray("LOGIN") << authFailed;
    QTest::newRow("truncated") << QStringLiteral("Secret-42") << encodedLogin("Secret-42", when).left(20)
                               << authFailed;
}

void TestSimEthModule::login()
{
    QFETCH(QString, modulePassword);
    QFETCH(QByteArray, login);
    QFETCH(QByteArray, answer);

    startModule(SimEthModule::Udp, modulePassword);
    client->writeDatagram(login, QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), answer);
    QCOMPARE(module->hasSession(), answer == sessionOpened);
    if (answer == sessionOpened)
        QCOMPARE(nextDatagram(), QByteArray("MOD_VERSION=ETH_V12-STK_V34\r\n"));
}

void TestSimEthModule::framesOutsideSessionDenied()
{
    startModule(SimEthModule::Udp, QString());
    QSignalSpy toBus(bus.get(), &SimBus::frameOut);
    client->writeDatagram(scanOverUdp, QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), accessDenied);
    client->writeDatagram("HELLO", QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), accessDenied);
    QVERIFY(!bus->isScanning());
    QCOMPARE(toBus.count(), 0);
}

void TestSimEthModule::busFramesGoToSessionPeer()
{
    startModule(SimEthModule::Udp, QString());
    QUdpSocket other;
    QVERIFY(other.bind(QHostAddress(QHostAddress::LocalHost), 0));
    client->writeDatagram("LOGIN", QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), sessionOpened);
    nextDatagram();
    // Two frames in one datagram: the scan and a repeat of it.
    client->writeDatagram(scanOverUdp + scanOverUdp, QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), scanAck);
    QCOMPARE(nextDatagram(), scanAck);
    QCOMPARE(nextDatagram(), QByteArray("\x02"
                                        "BD04630226\x03"));
    // Another PC without a session is turned away and gets none of the bus traffic.
    other.writeDatagram(scanOverUdp, QHostAddress::LocalHost, module->localPort());
    QTRY_VERIFY_WITH_TIMEOUT(other.hasPendingDatagrams(), 2000);
    QCOMPARE(other.receiveDatagram().data(), accessDenied);
    QTest::qWait(100);
    QVERIFY(!other.hasPendingDatagrams());
}

void TestSimEthModule::logoutEndsSession()
{
    startModule(SimEthModule::Udp, QString());
    QSignalSpy session(module.get(), &SimEthModule::sessionChanged);
    client->writeDatagram("LOGIN", QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), sessionOpened);
    nextDatagram();
    client->writeDatagram("LOGOUT", QHostAddress::LocalHost, module->localPort());
    QTRY_COMPARE_WITH_TIMEOUT(session.count(), 2, 2000);
    QCOMPARE(session.at(1).at(0).toBool(), false);
    client->writeDatagram(scanOverUdp, QHostAddress::LocalHost, module->localPort());
    QCOMPARE(nextDatagram(), accessDenied);
}

void TestSimEthModule::tcpSessionWithSplitFrames()
{
    startModule(SimEthModule::Tcp, QStringLiteral("pw"));
    QTcpSocket stream;
    stream.connectToHost(QHostAddress::LocalHost, module->localPort());
    QVERIFY(stream.waitForConnected(2000));
    const QByteArray login = encodedLogin("pw", QDateTime(QDate(2026, 3, 3), QTime(14, 5)));
    // The LOGIN carries no terminator on a stream either: its length tells where it ends.
    stream.write(login.left(8));
    QVERIFY(stream.waitForBytesWritten(1000));
    QTest::qWait(30);
    stream.write(login.mid(8) + "\x02"
                                "BD01");
    QTRY_VERIFY_WITH_TIMEOUT(stream.peek(1024).contains("MOD_VERSION="), 2000);
    QVERIFY(stream.readAll().startsWith(sessionOpened));
    stream.write("31EF\x03");
    QTRY_VERIFY_WITH_TIMEOUT(stream.bytesAvailable() >= scanAck.size(), 2000);
    QCOMPARE(stream.read(scanAck.size()), scanAck);
    QVERIFY(bus->isScanning());
}

QTEST_GUILESS_MAIN(TestSimEthModule)
#include "tst_simethmodule.moc"
