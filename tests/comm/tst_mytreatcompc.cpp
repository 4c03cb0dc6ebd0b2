// The communication manager against a fake bus master on USB.

#include "faked2xxdriver.h"
#include "fakeethmodule.h"
#include "logcapture.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "testbytes.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// A request and how its answer is awaited; `result`: what sendFrame gives for it.
struct Send
{
    QByteArray text;
    AnswerPolicy policy;
    int result = 0;
};

AnswerPolicy awaitAck(qint32 timeout, qint32 retries, const char *prefixHex = "", qint32 offset = 0)
{
    return AnswerPolicy{timeout, retries, 1, QByteArray::fromHex(prefixHex), offset};
}

// Scan and erase requests of a PC on USB; reports of the master; CODATA of module 3F12D687 and its ack.
const QByteArray scanText = transport("BD0231F0");
const QByteArray eraseText = transport("BD0E3F12D6871F3FF1C8");
const QByteArray moduleCount = transport("B9083702FA");
const QByteArray scanReport = transport("B90831F2");
const QByteArray moduleData = transport("BD0B3F12D6871E3F00D3");
const QByteArray moduleAck = transport("F90E3F12D68701B6");

const QString dropLine = QStringLiteral("retryTimerTimeoutCallBack: drop frame");
const QString shortLine = QStringLiteral("Error sending, retry");
const QString goneLine = QStringLiteral("ErrorTaskComFail disconnected");
const QString unableLine = QStringLiteral("Unable to send ack");
const QStringList ackLines{"Ack  2 : 0  ->  3 : 1058199175", "ASCII " + QString::fromLatin1(moduleAck),
                           "From " + QString::fromLatin1(moduleData)};

// The lines of `retries` retransmissions of `text`, then of its drop.
QStringList retried(const QByteArray &text, int retries)
{
    QStringList lines;
    for (int n = 0; n < retries; ++n)
        lines << "retryTimerTimeoutCallBack: retry " + QString::fromLatin1(text);
    return lines << dropLine;
}

// Every line the manager logs in the exchanges below, whichever row expects it.
const QStringList managerLines =
    ackLines + retried(scanText, 1) + retried(eraseText, 1) +
    QStringList{"Unable to decode frame. abort", "Drop non bus data", shortLine, goneLine, unableLine};

using Sends = QList<Send>;
using WriteScript = decltype(FakeUsbDevice::writeScript);
using Frames = QList<QByteArray>;

} // namespace

Q_DECLARE_METATYPE(Send)

class TestMyTreatComPc : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeD2xxScope> d2xx;
    std::unique_ptr<MyTreatComPc> manager;

    FakeD2xxDriver &driver() { return d2xx->driver(); }
    FakeUsbDevice &master() { return driver().device(0); }
    int send(const QByteArray &text, AnswerPolicy p) { return manager->sendFrame({text, false}, p); }
    void start(const QString &url)
    {
        stop();
        d2xx = std::make_unique<FakeD2xxScope>();
        driver().addDevice();
        manager = std::make_unique<MyTreatComPc>(QString());
        manager->setEthWaits(100, 600);
        manager->open(url);
    }
    void stop()
    {
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        d2xx.reset();
    }

private slots:
    void init() { start(masterUrl); }
    void cleanup() { stop(); }

    // The requests go out, then the master sends `received`: what it got back, what the manager
    // logged, and what it heard (on allNewFrame; when `answered`, on newFrameReceived too).
    void exchange_data()
    {
        QTest::addColumn<Sends>("sends");
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<Frames>("heard");
        QTest::addColumn<WriteScript>("script");
        QTest::addColumn<int>("interval"); // between transmissions, in ms; 0: not timed
        const auto row = [](const char *name, const Sends &sends, const QByteArray &received,
                            const QByteArray &written, const QStringList &lines, bool answered = false,
                            const Frames &heard = {}, const WriteScript &script = {}, int interval = 0) {
            QTest::newRow(name) << sends << received << written << lines << answered
                                << (heard.isEmpty() && !received.isEmpty() ? Frames{received} : heard)
                                << script << interval;
        };
        // The scan request alone; policyDefault's 1 s and 4 retries: e2e.tst_scan's erase.
        const auto timed = [&row](const char *name, int timeout, int retries, int interval) {
            row(name, {{scanText, awaitAck(timeout, retries)}}, {}, scanText.repeated(qMax(1, retries + 1)),
                retried(scanText, qMax(0, retries)), false, {}, {}, interval);
        };
        timed("timeout 2 -> floor", 2, 3, 120);
        timed("negative timeout -> floor", -7, 3, 120);
        timed("timeout 3", 3, 3, 150);
        timed("negative retries: drop at first tick", 2, -1, 120);
        // The scan request waits 120 ms per transmission.
        const Send scan{scanText, awaitAck(2, 2)};
        row("timeout 0 leaves the wait", {scan, {eraseText, awaitAck(0, 4)}}, {},
            scanText + eraseText + scanText + scanText, retried(scanText, 2));
        row("retries 0 stops the wait", {scan, {eraseText, awaitAck(4, 0)}}, {}, scanText + eraseText, {});
        // The master's report (here: scan started) is no answer to the scan request, from whatever sender:
        // heard on allNewFrame only, acknowledged, and the request is resent and dropped.
        const QByteArray started = transport("BD0863022A");
        row("a report while the scan waits", {scan}, started,
            scanText + transport("F90201FC") + scanText + scanText, retried(scanText, 2));
        // A bad checksum makes the frame invalid; its text carries the recomputed checksum.
        row("invalid frame stops the wait", {scan, {transport("BD0E3F12D6871F3FF1C9"), awaitAck(4, 2)}}, {},
            scanText + eraseText, {});
        // The second attempt is made at once, inside sendFrame; a failed send starts no wait.
        const QString mismatch = QStringLiteral("number of bytes mismatches :  %1  !=  10");
        row("both short", {{scanText, awaitAck(2, 2), 1}}, {}, scanText.left(4) + scanText.left(3),
            {shortLine, "ErrorTaskComFail, " + mismatch.arg(3)}, false, {}, {{FT_OK, 4}, {FT_OK, 3}});
        const Send lost{scanText, awaitAck(2, 2), 1};
        row("device gone, then a send on the closed link", {lost, lost}, {}, {},
            {shortLine, goneLine, goneLine}, false, {}, {{FT_DEVICE_GONE, 0}});
        // A failed retransmission costs its tick; the wait goes on.
        row("short retransmission", {scan}, {}, scanText + scanText.left(4) + scanText.left(2) + scanText,
            QStringList{retried(scanText, 1).first(), shortLine,
                        "retry: Unable to send, " + mismatch.arg(2)} +
                retried(scanText, 1),
            false, {}, {{FT_OK, -1}, {FT_OK, 4}, {FT_OK, 2}});

        // The erase waits 150 ms, once more after its retransmission, then is dropped.
        const Send erase{eraseText, awaitAck(3, 1)};
        const QByteArray twice = eraseText + eraseText;
        row("COACKN from the module", {erase}, transport("F90B3F12D68701B3"), eraseText, {}, true);
        row("COACKN, other module", {erase}, transport("F90B3F12D68801B4"), twice, retried(eraseText, 1));
        row("CONACK from the module", {erase}, transport("F90B3F12D68702B4"), twice, retried(eraseText, 1),
            true);
        // The erase with 2-byte and with 1-byte addresses: only 2 and 4 bytes name the addressee.
        const QByteArray e16 = transport("B50ED6871F3FF16F"), e8 = transport("AD0E871F3FF191");
        row("16-bit COACKN from the module", {{e16, awaitAck(3, 1)}}, transport("F10BD687015A"), e16, {},
            true);
        row("16-bit COACKN, other module", {{e16, awaitAck(3, 1)}}, transport("F10BD688015B"), e16 + e16,
            retried(e16, 1));
        row("8-bit COACKN from the module", {{e8, awaitAck(3, 1)}}, transport("E90B87017C"), e8 + e8,
            retried(e8, 1));
        const auto prefixAt = [](int offset) { return Sends{{eraseText, awaitAck(3, 1, "3FF1", offset)}}; };
        row("prefix at offset", prefixAt(1), transport("F90B3F12D68701003FF107EA"), eraseText, {}, true);
        row("prefix after offset", prefixAt(1), transport("F90B3F12D6870100003FF1E3"), twice,
            retried(eraseText, 1));
        row("data shorter than offset", prefixAt(4), transport("F90B3F12D68701003FF1E3"), twice,
            retried(eraseText, 1));
        row("CODATA: acked once", {erase}, moduleData, eraseText + moduleAck + eraseText,
            ackLines + retried(eraseText, 1));
        // With nothing awaited every valid frame passes the answer test, in arrival order.
        row("frames among a session line and a bad checksum", {},
            "INFO:Session opened\r\n" + moduleCount + transport("B90831F3") + scanReport + moduleAck, {},
            {"Drop non bus data", "Unable to decode frame. abort"}, true,
            {moduleCount, scanReport, moduleAck});
        row("acknowledged", {}, moduleData, moduleAck, ackLines, true);
        // CODATA asking for an ack, but of frame type 0, or to receiver mode 1: not for this PC to ack.
        const QByteArray type0 = transport("BC0B3F12D6871E3F00D2"), mode1 = transport("BD073F12D6871E3F00CF");
        row("no ack: frame type 0, receiver mode 1", {}, type0 + mode1, {}, {}, true, {type0, mode1});
        // A lost link ends the pending erase at once, before the failed ack is reported.
        row("device gone at the ack", {erase}, moduleData, eraseText,
            ackLines + QStringList{goneLine, shortLine, goneLine, unableLine}, false, {},
            {{FT_OK, -1}, {FT_DEVICE_GONE, 0}});
    }

    void exchange()
    {
        QFETCH(Sends, sends);
        QFETCH(QStringList, lines);
        QFETCH(bool, answered);
        QFETCH(Frames, heard);
        QFETCH(WriteScript, script);
        master().writeScript = script;
        LogCapture log;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);
        Frames all, answers;
        qint64 dropAt = -1;
        QObject listener; // the connections end with this row
        connect(manager.get(), &MyTreatComPc::sendTimeout, &listener, [&] { dropAt = driver().now(); });
        connect(manager.get(), &MyTreatComPc::allNewFrame, &listener,
                [&](const MyFrameDec &f) { all << f.text(); });
        connect(manager.get(), &MyTreatComPc::newFrameReceived, &listener,
                [&](const MyFrameDec &f) { answers << f.text(); });

        const qint64 start = driver().now();
        for (const Send &s : sends)
            QCOMPARE(send(s.text, s.policy), s.result);
        QFETCH(QByteArray, received);
        QFETCH(QByteArray, written);
        master().rxWaiting = received;
        // Each drop, failed send and lost link is reported once.
        const int reports =
            lines.count(dropLine) + lines.filter(QRegularExpression("^ErrorTaskComFail")).count();
        const bool arrived = QTest::qWaitFor(
            [&] { return timeouts.count() >= reports && master().written.size() >= written.size(); });
        // A request still awaited would be sent again 120 to 150 ms after its first transmission:
        // nothing more may come meanwhile. Acknowledgements are never sent again.
        if (!lines.contains(dropLine))
            QTest::qWait(int(qMax<qint64>(0, (sends.isEmpty() ? 100 : 200) - (driver().now() - start))));
        QCOMPARE(timeouts.count(), reports);
        QVERIFY(arrived);
        QCOMPARE(all, heard);
        QCOMPARE(answers, answered ? heard : Frames{});
        QCOMPARE(log.only(lines + managerLines), lines);
        QCOMPARE(master().written, written);
        QCOMPARE(manager->isConnected(), !lines.contains(goneLine));
        // Transmission k comes k intervals after the first, the drop one after the last (ticks may be late).
        QFETCH(int, interval);
        const QList<qint64> times = driver().writeTimes + QList<qint64>{dropAt};
        for (int k = 1; interval > 0 && k < times.size(); ++k) {
            const qint64 at = times[k] - times[0], expected = k * interval;
            QVERIFY2(at >= expected * 19 / 20 - 5 && at <= expected + qMax(110, interval / 4),
                     qPrintable(QString::number(at)));
        }
    }

    // Ticks are driven directly: 301 real ticks would take half a minute. An 8-bit count never gets past 255.
    void countDoesNotWrap()
    {
        LogCapture quiet;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);
        QCOMPARE(send(scanText, awaitAck(2, 300)), 0);
        for (int n = 0; n <= 300; ++n)
            QVERIFY(
                QMetaObject::invokeMethod(manager.get(), "retryTimerTimeoutCallBack", Qt::DirectConnection));
        QCOMPARE(master().written, scanText.repeated(301));
        QCOMPARE(timeouts.count(), 1);
    }

    // 1 over Ethernet, 2 otherwise; a scheme of no transport is taken as 2, with a line each time.
    void pcMode()
    {
        LogCapture log;
        QList<int> modes;
        for (const char *url : {"tcp://127.0.0.1:1", "", "ftp://localhost/file"}) {
            start(QString::fromLatin1(url));
            modes << manager->pcMode();
        }
        QCOMPARE(modes, (QList<int>{1, 2, 2}));
        QCOMPARE(log.only({"unknown scheme ??"}), QStringList{"unknown scheme ??"});
        QCOMPARE(manager->open(QString()), -2);
    }

    // Logging out spins the event loop for its wait: nothing may be emitted from inside the destructor.
    void destructionIsSilentDuringSessionClose()
    {
        FakeEthModule module;
        start(module.url());
        int emitted = 0;
        const auto count = [&emitted] { ++emitted; };
        connect(manager.get(), &MyTreatComPc::newFrameReceived, this, count);
        connect(manager.get(), &MyTreatComPc::allNewFrame, this, count);
        connect(manager.get(), &MyTreatComPc::sendTimeout, this, count);
        connect(manager.get(), &MyTreatComPc::linkConnectionChanged, this, count);
        QCOMPARE(send(transport("BD0131EF"), awaitAck(2, 2)), 0);
        QTimer::singleShot(300, &module, [&module] { module.send(transport("B90437F4")); });
        manager.reset();
        QCOMPARE(emitted, 0);
        QVERIFY(module.messages.contains("LOGOUT"));
    }
};

QTEST_GUILESS_MAIN(TestMyTreatComPc)
#include "tst_mytreatcompc.moc"
