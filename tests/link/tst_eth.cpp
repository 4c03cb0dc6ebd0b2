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
        // "secret" = 73 65 63 72 65 74 00 00 00 00: p[i]+p[i+1]+p[i+5]+p[(i+6)%10] = 332 200 213 215 332,
        // c = s + 2*(s>>8) = 4E C8 D5 D7 4E. 14:05 on 3 March 2026: "LOGIN" "20" FF "26" FF " 3" FF " 3" FF
        // "14" FF " 5", complemented from byte 5: CD CF 00 CD C9 00 DF CC 00 DF CC 00 CE CB 00 DF CA,
        // sum 0x9CA, t = CA + 09 = D3 = k; bytes 7 10 13 16 19 = c ^ D3 = 9D 1B 06 04 9D.
        QTest::newRow("2026") << "secret" << QDateTime(QDate(2026, 3, 3), QTime(14, 5))
                              << QByteArray::fromHex("4C4F47494ECDCF9DCDC91BDFCC06DFCC04CECB9DDFCA");
        // 09:30 on 24 November 2007: "LOGIN" "20" FF "7" FF "11" FF "24" FF " 9" FF "30" (21 bytes),
        // complemented sum 0x8D8, k = D8 + 08 = E0; c ^ E0 = AE 28 35 37 AE lands on bytes 7 10 13 16 19:
        // the first separator, then '1' of the month, '2' of the day, ' ' of the hour, '3' of the minute.
        QTest::newRow("2007") << "secret" << QDateTime(QDate(2007, 11, 24), QTime(9, 30))
                              << QByteArray::fromHex("4C4F47494ECDCFAEC80028CE0035CB0037C600AECF");
        // "Tel\u00e9voran2" = 54 65 6C E9 76 6F 72 61 6E 32: sums 410 420 548 511 363, c = 9C A6 28 01 6D;
        // 23:59 on 31 December 2026: complemented sum 0x990, k = 90 + 09 = 99; c ^ 99 = 05 3F B1 98 F4.
        const QByteArray tenChars = QByteArray::fromHex("4C4F47494ECDCF05CDC93FCECDB1CCCE98CDCCF4CAC6");
        const QDateTime eve(QDate(2026, 12, 31), QTime(23, 59));
        QTest::newRow("ten characters") << QStringLiteral("Tel\u00e9voran2") << eve << tenChars;
        QTest::newRow("only ten count") << QStringLiteral("Tel\u00e9voran2-long-password") << eve << tenChars;
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

    void moduleVersionLine_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("eth");
        QTest::addColumn<int>("stack");
        QTest::newRow("both") << QByteArray("MOD_VERSION=ETH_V1A-STK_V0C\r\n") << 0x1A << 0x0C;
        QTest::newRow("no stack") << QByteArray("MOD_VERSION=ETH_V21\r\n") << 0x21 << 0;
        QTest::newRow("no eth") << QByteArray("MOD_VERSION=STK_V21-STK_V05\r\n") << 0 << 0x05;
        QTest::newRow("not hex") << QByteArray("MOD_VERSION=ETH_VZZ-STK_V3G\r\n") << 0 << 0;
        QTest::newRow("ends at NUL") << QByteArray("MOD_VERSION=ETH_V12\0-STK_V34\r\n", 31) << 0x12 << 0;
    }

    void moduleVersionLine()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, eth);
        QFETCH(int, stack);
        MyDiFtdi link;
        link.receivePass(line);
        QCOMPARE(int(link.moduleEthVersion()), eth);
        QCOMPARE(int(link.moduleStackVersion()), stack);
    }

    void helloKeepsTheSessionAliveUntilItFails()
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

        LogCapture log;
        module.send("INFO:Auth failed\r\n");
        QTRY_COMPARE(log.count("helloTimer stop due to session or link error"), 1);
        const int hellos = module.messages.count("HELLO");
        QTest::qWait(300);
        QCOMPARE(module.messages.count("HELLO"), hellos);
        QVERIFY(link.isConnected());
        QMetaObject::invokeMethod(&link, "on_helloTimer_timeout_cb");
        QCOMPARE(log.count("Error Unable to get handle of timer to stop it"), 1);
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
