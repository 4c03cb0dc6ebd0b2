// The Ethernet module session against a loopback peer that plays the module.
#include "fakeethmodule.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QDir>
#include <QtTest>

Q_DECLARE_METATYPE(MyDiFtdi::SessionState)

namespace {
const QByteArray busFrame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX
int openDescriptorCount()
{
    return QDir("/proc/self/fd").entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot).size();
}

// Everything queued but the HELLO echo lines, which the 100 ms period slips in at any point.
QList<QByteArray> takeAllButHellos(MyDiFtdi &link)
{
    QList<QByteArray> taken;
    while (link.itemCount() > 0) {
        QByteArray data = link.takeItem().data;
        if (data != "INFO:HELLO:INFO\r\n")
            taken << data;
    }
    return taken;
}
} // namespace

class TestEth : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { qRegisterMetaType<MyDiFtdi::SessionState>(); }
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void encodeLogin()
    {
        QByteArray out("untouched");
        QVERIFY(!MyDiFtdi::encodeLogin(out, QString(), QDateTime::currentDateTime()));
        QCOMPARE(out, QByteArray("untouched"));
        // In 2007 the datagram is one byte shorter: the year's remainder has one digit.
        QVERIFY(MyDiFtdi::encodeLogin(out, "secret", QDateTime(QDate(2026, 3, 3), QTime(14, 5))));
        QCOMPARE(out.toHex().toUpper(), QByteArray("4C4F47494ECDCF9DCDC91BDFCC06DFCC04CECB9DDFCA"));
        QVERIFY(MyDiFtdi::encodeLogin(out, "secret", QDateTime(QDate(2007, 11, 24), QTime(9, 30))));
        QCOMPARE(out.toHex().toUpper(), QByteArray("4C4F47494ECDCFAEC80028CE0035CB0037C600AECF"));
    }

    void session_data()
    {
        QTest::addColumn<bool>("tcp"); // LOGIN with a password: tst_faults, oddUrlsReachTheLink
        QTest::newRow("udp") << false;
        QTest::newRow("tcp") << true;
    }

    void session()
    {
        QFETCH(bool, tcp);
        FakeEthModule module(tcp ? FakeEthModule::Tcp : FakeEthModule::Udp);
        MyDiFtdi link;
        QCOMPARE(link.helloPeriod(), 50000);
        link.setHelloPeriod(100);
        QSignalSpy connectSpy(&link, &MyDiFtdi::connectStateChanged);
        QCOMPARE(link.open(module.url()), 1);
        QCOMPARE(link.transportKind(), MyDiFtdi::TransportEth);
        QCOMPARE(module.stream(), QByteArray("LOGIN"));
        QCOMPARE(link.takeItem().kind, RxTextLine); // "Session opened"
        QCOMPARE(link.write(busFrame), busFrame.size());
        module.send(busFrame);
        QTRY_COMPARE(link.itemCount(), 1);
        QCOMPARE(link.takeItem().data, busFrame);
        QTRY_VERIFY(module.messages.contains("HELLO") && link.itemCount() >= 1);
        QCOMPARE(link.takeItem().data, QByteArray("INFO:HELLO:INFO\r\n"));
        takeAllButHellos(link);
        // Longer than the 16 KB that a socket read takes at a time, and followed by another.
        module.send(QByteArray(40000, 'A') + "\r\n");
        module.send(busFrame);
        QList<QByteArray> received;
        QTRY_VERIFY((received += takeAllButHellos(link)).size() >= 2);
        QCOMPARE(received.size(), 2);
        QCOMPARE(received.at(0), QByteArray(40000, 'A') + "\r\n");
        QCOMPARE(received.at(1), busFrame);
        QElapsedTimer logoutWait;
        logoutWait.start();
        link.close();
        QVERIFY2(logoutWait.elapsed() >= 1500 && logoutWait.elapsed() < 2500,
                 qPrintable(QString::number(logoutWait.elapsed())));
        QTRY_VERIFY(module.stream().startsWith("LOGIN" + busFrame) && module.stream().endsWith("LOGOUT"));
        QCOMPARE(connectSpy, (QList<QVariantList>{{true}, {false}}));
    }

    // Two hex digits exactly, in either case: a sign, a blank or the line's end gives 0.
    void moduleVersions()
    {
        MyDiFtdi link;
        const std::tuple<const char *, int, int> lines[] = {
            {"ETH_V1A-STK_V0c", 0x1A, 0x0C}, {"ETH_V+1-STK_V 1", 0, 0}, {"ETH_V12-STK_V1", 0x12, 0}};
        for (const auto &[line, eth, stack] : lines) {
            link.receivePass(QByteArray("MOD_VERSION=") + line + "\r\n");
            QCOMPARE((QList<int>{link.moduleEthVersion(), link.moduleStackVersion()}),
                     (QList<int>{eth, stack}));
        }
    }

    void failedOpen_data()
    {
        QTest::addColumn<QByteArray>("reply"); // "Auth failed" refuses at once, the rest after the 2 s wait
        QTest::newRow("no answer") << QByteArray();
        QTest::newRow("auth failed") << QByteArray("INFO:Auth failed\r\n");
        QTest::newRow("access denied") << QByteArray("INFO:Access denied\r\n");
        // Garbage: what it leaves unfinished must not spoil the next answer.
        QTest::newRow("noise") << QByteArray::fromHex("00ff7f80fe");
        QTest::newRow("line after noise") << QByteArray("xyINFO:Session opened\r\n");
        QTest::newRow("line after a frame start") << QByteArray("\x02INFO:Session opened\r\n");
        QTest::newRow("line without its end") << QByteArray("INFO:Session opened");
        QTest::newRow("64 KB, no delimiter") << QByteArray(65000, 'Z');
    }

    void failedOpen()
    {
        FakeEthModule module;
        QFETCH(QByteArray, reply);
        module.loginReply = reply;
        const bool auth = reply.contains("Auth");
        const MyDiFtdi::SessionState state = auth ? MyDiFtdi::SessionAuthFailed : MyDiFtdi::SessionClosed;
        MyDiFtdi link;
        const int descriptors = openDescriptorCount();
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(link.open(module.url()), -1);
        QVERIFY2(auth ? clock.elapsed() < 1000 : clock.elapsed() >= 1900 && clock.elapsed() <= 4000,
                 qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(module.messages, QByteArrayList{"LOGIN"});
        QCOMPARE(link.transportKind(), MyDiFtdi::TransportNone);
        QCOMPARE(link.currentSessionState(), state);
        // The failed open let its socket go: a late answer reaches nothing.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(openDescriptorCount(), descriptors);
        const int items = link.itemCount();
        module.send("INFO:Session opened\r\n");
        QTest::qWait(200);
        QCOMPARE(link.itemCount(), items);
        QCOMPARE(link.currentSessionState(), state);
        module.loginReply = "INFO:Session opened\r\n"; // the next open waits for its own answer
        QCOMPARE(link.open(module.url()), 1);
    }

    void accessDeniedWhileOpenClosesTheLink()
    {
        FakeEthModule module;
        MyDiFtdi link;
        QCOMPARE(link.open(module.url()), 1);
        QSignalSpy sessionSpy(&link, &MyDiFtdi::sessionStateChanged);
        // These arrive while the link waits after its LOGOUT, inside the read of the line: the frame is
        // still received, the session line of the closed link is not acted upon.
        QTimer::singleShot(300, &module, [&module] { module.send("INFO:Session opened\r\n" + busFrame); });
        module.send("INFO:Access denied. Open a session:INFO\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(!link.isConnected(), 5000);
        QCOMPARE(module.messages.last(), QByteArray("LOGOUT"));
        QCOMPARE(sessionSpy.size(), 2);
        QCOMPARE(sessionSpy.last().at(0).value<MyDiFtdi::SessionState>(), MyDiFtdi::SessionClosed);
        QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionClosed);
        QCOMPARE(link.itemCount(), 4);
        link.takeItem(), link.takeItem(), link.takeItem();
        QCOMPARE(link.takeItem().data, busFrame);
    }

    // The port unreachable report of one datagram fails the socket's next operation: nothing listens
    // at the module's port any more, and the link is released at once, without a LOGOUT.
    void refusedDatagramEndsTheLink()
    {
        FakeEthModule module;
        MyDiFtdi link;
        QCOMPARE(link.open(module.url()), 1);
        QSignalSpy connection(&link, &MyDiFtdi::connectStateChanged);
        module.stop();
        QTRY_VERIFY((link.write(busFrame), !link.isConnected()));
        QCOMPARE(connection.count(), 1);
        QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionClosed);
        QCOMPARE(link.transportKind(), MyDiFtdi::TransportNone);
        QCOMPARE(link.write(busFrame), 0);
    }
};

QTEST_GUILESS_MAIN(TestEth)
#include "tst_eth.moc"
