// The answer wait: retransmission schedule, the interval floor, how later sends treat a running
// wait, short writes, and that every policy ends in a drop.

#include "fakemaster.h"
#include "logcapture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Bus scan request of a PC on USB; erase request to the DALI module 3F12D687.
const QByteArray scanText = transport("BD0231F0");
const QByteArray eraseText = transport("BD0E3F12D6871F3FF1C8");

const QString retryLine = "retryTimerTimeoutCallBack: retry " + QString::fromLatin1(scanText);
const QString dropLine = QStringLiteral("retryTimerTimeoutCallBack: drop frame");
const QString shortLine = QStringLiteral("Error sending, retry");
const QString goneLine = QStringLiteral("ErrorTaskComFail disconnected");

// A busy two-core machine delivers a timer tick late (the next one keeps its schedule); a coarse
// timer may also fire up to 5 % early. Under 120 ms the tolerance still tells 4 ticks of 150 ms
// from 4 of 120 ms.
qint64 lateMs(int interval)
{
    return qMax(110, interval / 4);
}

} // namespace

class TestComRetry : public QObject
{
    Q_OBJECT

private slots:
    void init() { bench = std::make_unique<MasterBench>(); }
    void cleanup() { bench.reset(); }

    void schedule_data();
    void schedule();
    void laterSend_data();
    void laterSend();
    void shortWrite_data();
    void shortWrite();
    void shortRetransmission();
    void countDoesNotWrap_data();
    void countDoesNotWrap();

private:
    std::unique_ptr<MasterBench> bench;
};

void TestComRetry::schedule_data()
{
    QTest::addColumn<int>("timeout"); // 0: policyDefault
    QTest::addColumn<int>("retries");
    QTest::addColumn<int>("interval");

    QTest::newRow("policyDefault") << 0 << 4 << 1000;
    QTest::newRow("timeout 2 -> floor") << 2 << 3 << 120;
    QTest::newRow("negative timeout -> floor") << -7 << 3 << 120;
    QTest::newRow("timeout 3") << 3 << 3 << 150;
    QTest::newRow("negative retries: drop at first tick") << 2 << -1 << 120;
}

// Transmission k comes k intervals after the first, and the drop one interval after the last.
void TestComRetry::schedule()
{
    QFETCH(int, timeout);
    QFETCH(int, retries);
    QFETCH(int, interval);
    MyTreatComPc *manager = bench->manager.get();
    const AnswerPolicy policy = timeout == 0 ? manager->policyDefault : awaitAck(timeout, retries);
    const int transmissions = qMax(1, retries + 1);
    LogCapture log;
    qint64 dropAt = -1;
    connect(manager, &MyTreatComPc::sendTimeout, this, [&] { dropAt = bench->master->driver().now(); });

    QCOMPARE(manager->sendFrame(MyFrameDec(scanText, false), policy), 0);
    QTRY_VERIFY_WITH_TIMEOUT(dropAt >= 0, transmissions * interval + 2000);

    QCOMPARE(bench->master->written(), scanText.repeated(transmissions));
    const QList<qint64> writes = bench->master->driver().writeTimes;
    for (int k = 1; k <= transmissions; ++k) {
        const qint64 expected = qint64(k) * interval;
        const qint64 at = (k < transmissions ? writes[k] : dropAt) - writes[0];
        QVERIFY2(
            at >= expected - expected / 20 - 5 && at <= expected + lateMs(interval),
            qPrintable(QStringLiteral("event %1 at %2 ms, expected %3 ms").arg(k).arg(at).arg(expected)));
    }
    QCOMPARE(log.count(retryLine), transmissions - 1);
    QCOMPARE(log.count(dropLine), 1);
    QTest::qWait(qMin(2 * interval, 400));
    QCOMPARE(bench->master->written().size(), scanText.size() * transmissions);
}

void TestComRetry::laterSend_data()
{
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("retries");
    QTest::addColumn<QByteArray>("expectedWritten");
    QTest::addColumn<int>("drops");

    QTest::newRow("timeout 0 leaves the wait")
        << eraseText << 0 << 4 << scanText + eraseText + scanText + scanText << 1;
    QTest::newRow("retries 0 stops the wait") << eraseText << 4 << 0 << scanText + eraseText << 0;
    // A decoded frame with a bad checksum is not valid; its text carries the recomputed checksum.
    QTest::newRow("invalid frame stops the wait")
        << transport("BD0E3F12D6871F3FF1C9") << 4 << 2 << scanText + eraseText << 0;
}

// A second frame sent while the scan request (200 ms, 2 retries) waits.
void TestComRetry::laterSend()
{
    QFETCH(QByteArray, sent);
    QFETCH(int, timeout);
    QFETCH(int, retries);
    QFETCH(QByteArray, expectedWritten);
    QFETCH(int, drops);
    MyTreatComPc *manager = bench->manager.get();
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);

    QCOMPARE(manager->sendFrame(MyFrameDec(scanText, false), awaitAck(4, 2)), 0);
    QCOMPARE(manager->sendFrame(MyFrameDec(sent, false), awaitAck(timeout, retries)), 0);
    QTest::qWait(800);
    QCOMPARE(bench->master->written(), expectedWritten);
    QCOMPARE(timeouts.count(), drops);
}

void TestComRetry::shortWrite_data()
{
    QTest::addColumn<int>("firstStatus");
    QTest::addColumn<int>("firstAccepted");
    QTest::addColumn<int>("secondAccepted");
    QTest::addColumn<QByteArray>("expectedWritten");
    QTest::addColumn<QStringList>("expectedLines");

    QTest::newRow("second attempt whole")
        << int(FT_OK) << 4 << -1 << scanText.left(4) + scanText << QStringList{shortLine};
    QTest::newRow("both short") << int(FT_OK) << 4 << 3 << scanText.left(4) + scanText.left(3)
                                << QStringList{shortLine,
                                               "ErrorTaskComFail, number of bytes mismatches : 3 != 10"};
    QTest::newRow("device gone") << int(FT_DEVICE_GONE) << 0 << 0 << QByteArray()
                                 << QStringList{shortLine, goneLine};
}

// The second attempt is made at once, inside sendFrame; a failed send starts no wait.
void TestComRetry::shortWrite()
{
    QFETCH(int, firstStatus);
    QFETCH(int, firstAccepted);
    QFETCH(int, secondAccepted);
    QFETCH(QByteArray, expectedWritten);
    QFETCH(QStringList, expectedLines);
    MyTreatComPc *manager = bench->manager.get();
    bench->master->device().writeScript = {{FT_STATUS(firstStatus), firstAccepted}, {FT_OK, secondAccepted}};
    LogCapture log;
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);
    const bool sent = secondAccepted < 0; // the second attempt takes the whole frame

    QCOMPARE(manager->sendFrame(MyFrameDec(scanText, false), awaitAck(2, 1)), sent ? 0 : 1);
    QCOMPARE(bench->master->written(), expectedWritten);
    QCOMPARE(timeouts.count(), sent ? 0 : 1);
    QCOMPARE(log.only(expectedLines + QStringList{shortLine, goneLine}), expectedLines);
    QTest::qWait(400);
    QCOMPARE(bench->master->written().size(), expectedWritten.size() + (sent ? scanText.size() : 0));
    QCOMPARE(timeouts.count(), 1);
}

// A failed retransmission costs its tick; the wait goes on and ends in the drop.
void TestComRetry::shortRetransmission()
{
    MyTreatComPc *manager = bench->manager.get();
    bench->master->device().writeScript = {{FT_OK, -1}, {FT_OK, 4}, {FT_OK, 2}};
    LogCapture log;
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);
    const QStringList expectedLines{retryLine, shortLine,
                                    "retry: Unable to send, number of bytes mismatches : 2 != 10", retryLine,
                                    dropLine};

    QCOMPARE(manager->sendFrame(MyFrameDec(scanText, false), awaitAck(2, 2)), 0);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 1, 1500);
    QCOMPARE(bench->master->written(), scanText + scanText.left(4) + scanText.left(2) + scanText);
    QCOMPARE(log.only(expectedLines + QStringList{goneLine}), expectedLines);
}

void TestComRetry::countDoesNotWrap_data()
{
    QTest::addColumn<int>("retries");
    QTest::newRow("255") << 255;
    QTest::newRow("300") << 300;
}

// Ticks are driven directly: the count is what is under test, and 256 ticks of even the shortest
// interval (120 ms) would take half a minute. The loop does not return to the event loop, so the
// timer itself does not tick meanwhile.
void TestComRetry::countDoesNotWrap()
{
    QFETCH(int, retries);
    MyTreatComPc *manager = bench->manager.get();
    LogCapture log;
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);
    const auto tick = [manager] {
        return QMetaObject::invokeMethod(manager, "retryTimerTimeoutCallBack", Qt::DirectConnection);
    };

    QCOMPARE(manager->sendFrame(MyFrameDec(scanText, false), awaitAck(2, retries)), 0);
    for (int n = 1; n <= retries; ++n)
        QVERIFY(tick());
    QCOMPARE(timeouts.count(), 0);
    QCOMPARE(bench->master->written(), scanText.repeated(retries + 1));
    QVERIFY(tick());
    QCOMPARE(timeouts.count(), 1);
    QCOMPARE(log.lines().last(), dropLine);
    QTest::qWait(300); // the drop stopped the timer
    QCOMPARE(bench->master->written().size(), scanText.size() * (retries + 1));
}

QTEST_GUILESS_MAIN(TestComRetry)
#include "tst_comretry.moc"
