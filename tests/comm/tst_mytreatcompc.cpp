// The communication manager against a fake bus master on USB.

#include "fakeethmodule.h"
#include "logcapture.h"
#include "mytreatcompc.h"
#include "windowbench.h" // masterUrl, transport()

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(MyFrameDec)

namespace {

const auto awaitAck = [](qint32 timeout, qint32 retries) { return AnswerPolicy{timeout, retries, 1, {}, 0}; };

// Scan and erase requests of a PC on USB; reports of the master; CODATA of module 3F12D687 and its ack.
const QByteArray scanText = transport("BD0231F0");
const QByteArray eraseText = transport("BD0E3F12D6871F3FF1C8");
const QByteArray moduleCount = transport("B9083702FA");
const QByteArray scanReport = transport("B90831F2");
const QByteArray moduleData = transport("BD0B3F12D6871E3F00D3");
const QByteArray moduleAck = transport("F90E3F12D68701B6");

const QString retryLine = "retryTimerTimeoutCallBack: retry " + QString::fromLatin1(scanText);
const QString dropLine = QStringLiteral("retryTimerTimeoutCallBack: drop frame");
const QString shortLine = QStringLiteral("Error sending, retry");
const QString goneLine = QStringLiteral("ErrorTaskComFail disconnected");
const QString unableLine = QStringLiteral("Unable to send ack");
const QStringList ackLines{"Ack  2 : 0  ->  3 : 1058199175", "ASCII " + QString::fromLatin1(moduleAck),
                           "From " + QString::fromLatin1(moduleData)};
const QStringList drainLines = ackLines + QStringList{"Unable to decode frame. abort", "Drop non bus data",
                                                      shortLine, goneLine, unableLine};

using WriteScript = decltype(FakeUsbDevice::writeScript);
using Frames = QList<QByteArray>;

Frames texts(const QSignalSpy &spy)
{
    Frames result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).value<MyFrameDec>().text());
    return result;
}

} // namespace

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
        manager = std::make_unique<MyTreatComPc>(url);
    }
    void stop()
    {
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        d2xx.reset();
    }

private slots:
    void initTestCase() { qRegisterMetaType<MyFrameDec>(); }
    void init() { start(masterUrl); }
    void cleanup() { stop(); }

    void schedule_data()
    {
        QTest::addColumn<int>("timeout"); // policyDefault's 1 s and 4 retries: e2e.tst_erase
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("interval");
        QTest::newRow("timeout 2 -> floor") << 2 << 3 << 120;
        QTest::newRow("negative timeout -> floor") << -7 << 3 << 120;
        QTest::newRow("timeout 3") << 3 << 3 << 150;
        QTest::newRow("negative retries: drop at first tick") << 2 << -1 << 120;
    }

    // Transmission k comes k intervals after the first, the drop one after the last (ticks may be late).
    void schedule()
    {
        QFETCH(int, timeout);
        QFETCH(int, retries);
        QFETCH(int, interval);
        const int sends = qMax(1, retries + 1);
        LogCapture quiet;
        qint64 dropAt = -1;
        connect(manager.get(), &MyTreatComPc::sendTimeout, this, [&] { dropAt = driver().now(); });

        QCOMPARE(send(scanText, awaitAck(timeout, retries)), 0);
        QTRY_VERIFY_WITH_TIMEOUT(dropAt >= 0, sends * interval + 2000);
        QCOMPARE(master().written, scanText.repeated(sends));
        for (int k = 1; k <= sends; ++k) {
            const qint64 expected = qint64(k) * interval;
            const qint64 at = (k < sends ? driver().writeTimes[k] : dropAt) - driver().writeTimes[0];
            QVERIFY2(at >= expected * 19 / 20 - 5 && at <= expected + qMax(110, interval / 4),
                     qPrintable(QString::number(at)));
        }
    }

    void send_data()
    {
        QTest::addColumn<WriteScript>("script");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("second"); // sent while the scan request waits
        QTest::addColumn<int>("secondTimeout");
        QTest::addColumn<int>("secondRetries");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QStringList>("lines");
        const QByteArray none;
        const QString mismatch = QStringLiteral("number of bytes mismatches :  %1  !=  10");
        QTest::newRow("timeout 0 leaves the wait")
            << WriteScript{} << 0 << eraseText << 0 << 4 << scanText + eraseText + scanText + scanText
            << QStringList{retryLine, retryLine, dropLine};
        QTest::newRow("retries 0 stops the wait")
            << WriteScript{} << 0 << eraseText << 4 << 0 << scanText + eraseText << QStringList{};
        // A bad checksum makes the frame invalid; its text carries the recomputed checksum.
        QTest::newRow("invalid frame stops the wait")
            << WriteScript{} << 0 << transport("BD0E3F12D6871F3FF1C9") << 4 << 2 << scanText + eraseText
            << QStringList{};
        // The second attempt is made at once, inside sendFrame; a failed send starts no wait.
        QTest::newRow("both short") << WriteScript{{FT_OK, 4}, {FT_OK, 3}} << 1 << none << 0 << 0
                                    << scanText.left(4) + scanText.left(3)
                                    << QStringList{shortLine, "ErrorTaskComFail, " + mismatch.arg(3)};
        // A failed retransmission costs its tick; the wait goes on.
        QTest::newRow("short retransmission")
            << WriteScript{{FT_OK, -1}, {FT_OK, 4}, {FT_OK, 2}} << 0 << none << 0 << 0
            << scanText + scanText.left(4) + scanText.left(2) + scanText
            << QStringList{retryLine, shortLine, "retry: Unable to send, " + mismatch.arg(2), retryLine,
                           dropLine};
    }

    // The scan request waits 120 ms per transmission. A failed send is reported like a drop.
    void send()
    {
        QFETCH(WriteScript, script);
        QFETCH(int, result);
        QFETCH(QByteArray, second);
        QFETCH(int, secondTimeout);
        QFETCH(int, secondRetries);
        QFETCH(QStringList, lines);
        master().writeScript = script;
        LogCapture log;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);

        QCOMPARE(send(scanText, awaitAck(2, 2)), result);
        if (!second.isEmpty())
            QCOMPARE(send(second, awaitAck(secondTimeout, secondRetries)), 0);
        QTest::qWait(700);
        QTEST(master().written, "written");
        QCOMPARE(timeouts.count(), lines.contains(dropLine) || result != 0 ? 1 : 0);
        QCOMPARE(log.only(lines + QStringList{shortLine, goneLine, retryLine, dropLine}), lines);
    }

    // Ticks are driven directly: 256 real ticks would take half a minute.
    void countDoesNotWrap()
    {
        LogCapture quiet;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);
        for (int retries : {255, 300}) {
            master().written.clear();
            QCOMPARE(send(scanText, awaitAck(2, retries)), 0);
            for (int n = 0; n <= retries; ++n)
                QVERIFY(QMetaObject::invokeMethod(manager.get(), "retryTimerTimeoutCallBack",
                                                  Qt::DirectConnection));
            QCOMPARE(master().written, scanText.repeated(retries + 1));
            QCOMPARE(timeouts.count(), retries == 255 ? 1 : 2);
        }
    }

    void receive_data()
    {
        QTest::addColumn<int>("awaited"); // -2: nothing sent; -1: the request; else offset of prefix 3F F1
        QTest::addColumn<QByteArray>("request"); // the erase, unless the row names another
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<WriteScript>("script");
        QTest::addColumn<Frames>("frames");
        QTest::addColumn<bool>("answered");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("written");
        const auto row = [](const char *name, int awaited, const QByteArray &received, bool answered,
                            const QByteArray &written, const QStringList &lines = {},
                            const WriteScript &script = {}, const Frames &frames = {},
                            const QByteArray &request = eraseText) {
            QTest::newRow(name) << awaited << request << received << script
                                << (frames.isEmpty() ? Frames{received} : frames) << answered << lines
                                << written;
        };
        // The erase waits 300 ms, once more after its retransmission, then is dropped.
        const QByteArray twice = eraseText + eraseText;
        row("COACKN from the module", -1, transport("F90B3F12D68701B3"), true, eraseText);
        row("COACKN, other module", -1, transport("F90B3F12D68801B4"), false, twice);
        row("CONACK from the module", -1, transport("F90B3F12D68702B4"), true, twice);
        // The erase with 2-byte and with 1-byte addresses: only 2 and 4 bytes name the addressee.
        const QByteArray e16 = transport("B50ED6871F3FF16F"), e8 = transport("AD0E871F3FF191");
        row("16-bit COACKN from the module", -1, transport("F10BD687015A"), true, e16, {}, {}, {}, e16);
        row("16-bit COACKN, other module", -1, transport("F10BD688015B"), false, e16 + e16, {}, {}, {}, e16);
        row("8-bit COACKN from the module", -1, transport("E90B87017C"), false, e8 + e8, {}, {}, {}, e8);
        row("prefix at offset", 1, transport("F90B3F12D68701003FF107EA"), true, eraseText);
        row("prefix elsewhere", 1, transport("F90B3F12D687013FF1E3"), false, twice);
        row("data shorter than offset", 4, transport("F90B3F12D68701003FF1E3"), false, twice);
        row("CODATA: acked once", -1, moduleData, false, eraseText + moduleAck + eraseText, ackLines);
        // With nothing awaited every valid frame passes the answer test, in arrival order.
        row("three frames", -2, moduleCount + scanReport + moduleAck, true, {}, {}, {},
            {moduleCount, scanReport, moduleAck});
        row("bad checksum between good frames", -2, moduleCount + transport("B90831F3") + scanReport, true,
            {}, {"Unable to decode frame. abort"}, {}, {moduleCount, scanReport});
        row("session line", -2, "INFO:Session opened\r\n" + scanReport, true, {}, {"Drop non bus data"}, {},
            {scanReport});
        // Which frames get an acknowledgement: fuzz_receive_path and its corpus.
        row("acknowledged", -2, moduleData, true, moduleAck, ackLines);
        row("device gone at the ack", -2, moduleData, true, {},
            ackLines + QStringList{shortLine, goneLine, unableLine}, {{FT_DEVICE_GONE, 0}});
    }

    void receive()
    {
        QFETCH(int, awaited);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, received);
        QFETCH(WriteScript, script);
        QFETCH(Frames, frames);
        QFETCH(bool, answered);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, written);
        LogCapture log;
        QSignalSpy answers(manager.get(), &MyTreatComPc::newFrameReceived);
        QSignalSpy all(manager.get(), &MyTreatComPc::allNewFrame);
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);
        const QByteArray prefix = awaited >= 0 ? QByteArray::fromHex("3FF1") : QByteArray();
        if (awaited > -2)
            QCOMPARE(send(request, {6, 1, 1, prefix, qMax(0, awaited)}), 0);
        master().writeScript = script;
        master().rxWaiting = received;
        QTRY_COMPARE_WITH_TIMEOUT(all.count(), frames.size(), 1000);
        QTest::qWait(awaited > -2 ? 900 : 120);
        QCOMPARE(texts(all), frames);
        QCOMPARE(texts(answers), answered ? frames : Frames{});
        QCOMPARE(log.only(drainLines), lines);
        QCOMPARE(master().written, written);
        QCOMPARE(timeouts.count(), written.count(request) == 2 || lines.contains(unableLine) ? 1 : 0);
        QCOMPARE(manager->isConnected(), !lines.contains(goneLine));
    }

    void pcMode_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("mode");
        QTest::newRow("tcp, nothing listening") << QStringLiteral("tcp://127.0.0.1:1") << 1;
        QTest::newRow("empty") << QString() << 2;
        QTest::newRow("ftp") << QStringLiteral("ftp://localhost/file") << 2;
    }

    void pcMode()
    {
        QFETCH(QString, url);
        start(url);
        LogCapture log;
        QCOMPARE(manager->urlString(), url);
        QTEST(manager->pcMode(), "mode");
        QVERIFY(!manager->isConnected());
        if (url.isEmpty())
            QCOMPARE(manager->open(url), -2);
        QCOMPARE(log.lines().count(QStringLiteral("unknown scheme ??")), url.startsWith("ftp") ? 1 : 0);
    }

    // Logging out spins the event loop for 1500 ms: nothing may be emitted from inside the destructor.
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

    void errorTextsAndPresets()
    {
        const QStringList texts =
            QString(
                "Succes|Communication Failure, master not connected |Error Task Busy|Error Task No Answer|"
                "Error Task No Data Frame|Error Task Timeout|Error Task Frame|Error Task Exit|"
                "Error Task Data|Error Task Address|Error Task Data Length|Error Task Undefined|"
                "Error Address out of range|Error len exceed max buffer length|Writing error")
                .split('|');
        for (int code = -1; code <= 15; ++code)
            QCOMPARE(manager->errorString(MyTreatComPc::ComError(code)),
                     texts.value(code, "unknown MyTreatComPc::ComError" + QString::number(code)));
        QCOMPARE(manager->lastErrorString(), QStringLiteral("Succes")); // the fallback is not stored
        const auto fields = [](const AnswerPolicy &p) {
            return QList<int>{p.timeout, p.retries, p.answerCommand, p.answerOffset,
                              int(p.answerPrefix.size())};
        };
        const MyTreatComPc &m = *manager;
        QCOMPARE(fields(m.policyDefault) + fields(m.policyLong) + fields(m.policyVeryLong),
                 (QList<int>{20, 4, 1, 0, 0, 40, 4, 1, 0, 0, 100, 2, 1, 0, 0}));
    }
};

QTEST_GUILESS_MAIN(TestMyTreatComPc)
#include "tst_mytreatcompc.moc"
