// The Ethernet module session against a loopback peer that plays the module.
#include "fakeethmodule.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QDir>
#include <QtTest>

Q_DECLARE_METATYPE(MyDiFtdi::SessionState)
Q_DECLARE_METATYPE(FakeEthModule::Transport)

namespace {

const QByteArray busFrame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX

int openDescriptorCount()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

} // namespace

class TestEth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<MyDiFtdi::SessionState>(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void encodeLogin_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QByteArray>("expected");
        // "secret": c = 4E C8 D5 D7 4E; the complemented text of 14:05, 3 March 2026 sums to 0x9CA, k = D3.
        QTest::newRow("2026") << "secret" << QDateTime(QDate(2026, 3, 3), QTime(14, 5))
                              << QByteArray::fromHex("4C4F47494ECDCF9DCDC91BDFCC06DFCC04CECB9DDFCA");
        // 09:30, 24 November 2007: 21 bytes, k = E0; c ^ k lands on the year's separator, month, day...
        QTest::newRow("2007") << "secret" << QDateTime(QDate(2007, 11, 24), QTime(9, 30))
                              << QByteArray::fromHex("4C4F47494ECDCFAEC80028CE0035CB0037C600AECF");
        // only the first ten characters count, "Tel\u00e9voran2" as Latin-1: c = 9C A6 28 01 6D; k = 99.
        QTest::newRow("only ten count")
            << QStringLiteral("Tel\u00e9voran2-long-password")
            << QDateTime(QDate(2026, 12, 31), QTime(23, 59))
            << QByteArray::fromHex("4C4F47494ECDCF05CDC93FCECDB1CCCE98CDCCF4CAC6");
    }

    void encodeLogin()
    {
        QFETCH(QString, password);
        QFETCH(QDateTime, now);
        QFETCH(QByteArray, expected);
        QByteArray out("untouched");
        QVERIFY(MyDiFtdi::encodeLogin(out, password, now));
        QCOMPARE(out.toHex(' '), expected.toHex(' '));
        QVERIFY(!MyDiFtdi::encodeLogin(out, QString(), now));
        QCOMPARE(out.toHex(' '), expected.toHex(' '));
    }

    void sessionCarriesFramesAndLogsOut_data()
    {
        QTest::addColumn<FakeEthModule::Transport>("transport");
        QTest::addColumn<QString>("userInfo");
        QTest::newRow("udp, bare LOGIN") << FakeEthModule::Udp << QString();
        QTest::newRow("udp, user and password") << FakeEthModule::Udp << "installer:pa%20ss";
        QTest::newRow("tcp") << FakeEthModule::Tcp << QString();
    }

    void sessionCarriesFramesAndLogsOut()
    {
        QFETCH(FakeEthModule::Transport, transport);
        QFETCH(QString, userInfo);
        FakeEthModule module(transport);
        MyDiFtdi link;
        QSignalSpy connectSpy(&link, &MyDiFtdi::connectStateChanged);
        QCOMPARE(link.open(module.url(userInfo)), 1);
        QVERIFY(link.isConnected());
        QCOMPARE(link.transportKind(), MyDiFtdi::TransportEth);
        const QByteArray login = module.stream();
        if (userInfo.isEmpty()) {
            QCOMPARE(login, QByteArray("LOGIN"));
        } else {
            QCOMPARE(link.loginPassword(), QStringLiteral("pa ss"));
            QCOMPARE(login.size(), QDate::currentDate().year() % 100 < 10 ? 21 : 22);
            QCOMPARE(char(~login.at(5)), '2'); // the century, complemented
        }

        QCOMPARE(link.write(busFrame), busFrame.size());
        module.send(busFrame);
        QTRY_COMPARE(link.itemCount(), 2); // "Session opened", then the frame
        QCOMPARE(link.takeItem().kind, RxTextLine);
        QCOMPARE(link.takeItem().data, busFrame);
        link.close();
        QTRY_COMPARE(module.stream(), login + busFrame + "LOGOUT");
        QCOMPARE(connectSpy.size(), 2);
        QCOMPARE(connectSpy.at(1).at(0).toBool(), false);
    }

    void failedOpen_data()
    {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::addColumn<MyDiFtdi::SessionState>("state");
        QTest::newRow("no answer") << QByteArray() << 1900 << 4000 << MyDiFtdi::SessionClosed;
        QTest::newRow("auth failed") << QByteArray("INFO:Auth failed\r\n") << 0 << 1000
                                     << MyDiFtdi::SessionAuthFailed;
        QTest::newRow("access denied")
            << QByteArray("INFO:Access denied\r\n") << 1900 << 4000 << MyDiFtdi::SessionClosed;
    }

    void failedOpen()
    {
        QFETCH(QByteArray, reply);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QFETCH(MyDiFtdi::SessionState, state);
        FakeEthModule module;
        module.loginReply = reply;
        MyDiFtdi link;
        const int descriptors = openDescriptorCount();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(module.url()), -1);
        QVERIFY2(clock.elapsed() >= minMs && clock.elapsed() <= maxMs,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(module.messages, QByteArrayList{"LOGIN"});
        QCOMPARE(link.transportKind(), MyDiFtdi::TransportNone);
        QCOMPARE(link.currentSessionState(), state);

        // The failed open let its socket go: an answer that comes late reaches nothing.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(openDescriptorCount(), descriptors);
        const int items = link.itemCount();
        module.send("INFO:Session opened\r\n");
        QTest::qWait(200);
        QCOMPARE(link.itemCount(), items);
        QCOMPARE(link.currentSessionState(), state);

        // Whatever state the failed attempt left, the next open waits for its own answer.
        module.loginReply = "INFO:Session opened\r\n";
        QCOMPARE(link.open(module.url()), 1);
    }

    void accessDeniedWhileOpenClosesTheLink_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::newRow("short") << QByteArray("INFO:Access denied\r\n");
        QTest::newRow("long") << QByteArray("INFO:Access denied. Open a session:INFO\r\n");
    }

    void accessDeniedWhileOpenClosesTheLink()
    {
        QFETCH(QByteArray, line);
        FakeEthModule module;
        MyDiFtdi link;
        QCOMPARE(link.open(module.url()), 1);
        QSignalSpy connectSpy(&link, &MyDiFtdi::connectStateChanged);
        QSignalSpy sessionSpy(&link, &MyDiFtdi::sessionStateChanged);
        // The frame arrives while the link waits after its LOGOUT, inside the read of the line.
        QTimer::singleShot(300, &module, [&module] { module.send(busFrame); });
        module.send(line);
        QTRY_VERIFY_WITH_TIMEOUT(!link.isConnected(), 5000);
        QCOMPARE(module.messages.last(), QByteArray("LOGOUT"));
        QCOMPARE(connectSpy.size(), 1);
        QCOMPARE(sessionSpy.size(), 2);
        for (const QList<QVariant> &emitted : sessionSpy)
            QCOMPARE(emitted.at(0).value<MyDiFtdi::SessionState>(), MyDiFtdi::SessionClosed);
        QCOMPARE(link.itemCount(), 3);
        link.takeItem(); // "Session opened"
        QCOMPARE(link.takeItem().data, line);
        QCOMPARE(link.takeItem().data, busFrame);
    }

    void moduleVersionLine()
    {
        MyDiFtdi link, bare;
        link.receivePass("MOD_VERSION=ETH_V1A-STK_V0C\r\n");
        QCOMPARE((QList<int>{link.moduleEthVersion(), link.moduleStackVersion()}), (QList<int>{0x1A, 0x0C}));
        bare.receivePass("MOD_VERSION=ETH_V21\r\n");
        QCOMPARE((QList<int>{bare.moduleEthVersion(), bare.moduleStackVersion()}), (QList<int>{0x21, 0}));
    }

    void helloIsEchoed()
    {
        FakeEthModule module;
        MyDiFtdi link;
        link.setHelloPeriod(100);
        QCOMPARE(link.open(module.url()), 1);
        link.takeItem(); // "Session opened"
        QTRY_VERIFY(module.messages.contains("HELLO") && link.itemCount() >= 1);
        const RxItem echo = link.takeItem();
        QCOMPARE(echo.kind, RxTextLine);
        QCOMPARE(echo.data, QByteArray("INFO:HELLO:INFO\r\n"));
    }

    void socketErrorIsOnlyLogged()
    {
        FakeEthModule module;
        MyDiFtdi link;
        QCOMPARE(link.open(module.url()), 1);
        module.stop();
        LogCapture log;
        // The port unreachable report of one datagram fails the socket's next operation.
        QTRY_VERIFY((link.write(busFrame),
                     !log.lines().filter("Error occured on UDP : QAbstractSocket::").isEmpty()));
        QVERIFY(link.isConnected());
        QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionOpened);
    }
};

QTEST_GUILESS_MAIN(TestEth)
#include "tst_eth.moc"
