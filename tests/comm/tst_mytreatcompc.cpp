// The communication manager against a fake bus master on USB: the answer wait and its
// retransmissions, short writes, the answer test, draining the link, acknowledgements, and the
// endpoint handling, destruction and error texts.

#include "faked2xxdriver.h"
#include "fakeethmodule.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mytreatcompc.h"

#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(MyFrameDec)

namespace {

// The bus master (KVMX) on USB as discovery names it.
const QString masterUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");

// Transport form of a binary frame given as its hex digits: STX, the digits, ETX.
QByteArray transport(const char *hexDigits)
{
    return '\x02' + QByteArray(hexDigits) + '\x03';
}

AnswerPolicy awaitAck(qint32 timeout, qint32 retries)
{
    AnswerPolicy policy;
    policy.timeout = timeout;
    policy.retries = retries;
    policy.answerCommand = 1;
    return policy;
}

// Requests of a PC on USB: the bus scan, and the erase to the DALI module 3F12D687.
const QByteArray scanText = transport("BD0231F0");
const QByteArray eraseText = transport("BD0E3F12D6871F3FF1C8");
// Reports of the master to this PC, no acknowledgement requested.
const QByteArray moduleCount = transport("B9083702FA");
const QByteArray scanReport = transport("B90831F2");
// CODATA from the DALI module to this PC, acknowledgement requested; and its COACKN.
const QByteArray moduleData = transport("BD0B3F12D6871E3F00D3");
const QByteArray moduleAck = transport("F90E3F12D68701B6");

const QString retryLine = "retryTimerTimeoutCallBack: retry " + QString::fromLatin1(scanText);
const QString dropLine = QStringLiteral("retryTimerTimeoutCallBack: drop frame");
const QString shortLine = QStringLiteral("Error sending, retry");
const QString goneLine = QStringLiteral("ErrorTaskComFail disconnected");
const QString unableLine = QStringLiteral("Unable to send ack");
const QStringList ackLines{"Ack 2:0 -> 3:1058199175", "ASCII " + QString::fromLatin1(moduleAck),
                           "From " + QString::fromLatin1(moduleData)};
const QStringList drainLines = ackLines + QStringList{"Unable to decode frame. abort", "Drop non bus data",
                                                      shortLine, goneLine, unableLine};

// Per write call: the status and the most bytes accepted (-1: all); later calls accept all.
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
    int send(const QByteArray &text, const AnswerPolicy &policy)
    {
        return manager->sendFrame(MyFrameDec(text, false), policy);
    }
    // A manager on `url` with the bus master attached.
    void start(const QString &url)
    {
        stop();
        d2xx = std::make_unique<FakeD2xxScope>();
        driver().addDevice();
        manager = std::make_unique<MyTreatComPc>(url);
    }
    // The manager closes the device, and the link's deferred deletion runs, before the driver goes.
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
        QTest::addColumn<int>("timeout"); // 0: policyDefault
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("interval");
        QTest::newRow("policyDefault") << 0 << 4 << 1000;
        QTest::newRow("timeout 2 -> floor") << 2 << 3 << 120;
        QTest::newRow("negative timeout -> floor") << -7 << 3 << 120;
        QTest::newRow("timeout 3") << 3 << 3 << 150;
        QTest::newRow("negative retries: drop at first tick") << 2 << -1 << 120;
    }

    // Transmission k comes k intervals after the first, the drop one interval after the last.
    void schedule()
    {
        QFETCH(int, timeout);
        QFETCH(int, retries);
        QFETCH(int, interval);
        const int sends = qMax(1, retries + 1);
        LogCapture log;
        qint64 dropAt = -1;
        connect(manager.get(), &MyTreatComPc::sendTimeout, this, [&] { dropAt = driver().now(); });

        QCOMPARE(send(scanText, timeout ? awaitAck(timeout, retries) : manager->policyDefault), 0);
        QTRY_VERIFY_WITH_TIMEOUT(dropAt >= 0, sends * interval + 2000);
        QCOMPARE(master().written, scanText.repeated(sends));
        for (int k = 1; k <= sends; ++k) {
            // A busy machine delivers a tick late (the next keeps its schedule), a coarse timer up to
            // 5 % early; 110 ms still tells 4 ticks of 150 ms from 4 of 120 ms.
            const qint64 expected = qint64(k) * interval;
            const qint64 at = (k < sends ? driver().writeTimes[k] : dropAt) - driver().writeTimes[0];
            QVERIFY2(
                at >= expected * 19 / 20 - 5 && at <= expected + qMax(110, interval / 4),
                qPrintable(QStringLiteral("event %1 at %2 ms, expected %3").arg(k).arg(at).arg(expected)));
        }
        QCOMPARE(log.count(retryLine), sends - 1);
        QCOMPARE(log.count(dropLine), 1);
        QTest::qWait(qMin(2 * interval, 400));
        QCOMPARE(master().written.size(), scanText.size() * sends);
    }

    void send_data()
    {
        QTest::addColumn<WriteScript>("script");
        QTest::addColumn<int>("retries");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("second"); // sent while the scan request waits
        QTest::addColumn<int>("secondTimeout");
        QTest::addColumn<int>("secondRetries");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QStringList>("lines");
        const QByteArray none;
        const QString mismatch = QStringLiteral("number of bytes mismatches : %1 != 10");
        QTest::newRow("timeout 0 leaves the wait")
            << WriteScript{} << 2 << 0 << eraseText << 0 << 4 << scanText + eraseText + scanText + scanText
            << QStringList{retryLine, retryLine, dropLine};
        QTest::newRow("retries 0 stops the wait")
            << WriteScript{} << 2 << 0 << eraseText << 4 << 0 << scanText + eraseText << QStringList{};
        // A bad checksum makes the frame invalid; its text carries the recomputed checksum.
        QTest::newRow("invalid frame stops the wait")
            << WriteScript{} << 2 << 0 << transport("BD0E3F12D6871F3FF1C9") << 4 << 2 << scanText + eraseText
            << QStringList{};
        // The second attempt is made at once, inside sendFrame; a failed send starts no wait.
        QTest::newRow("short, second attempt whole")
            << WriteScript{{FT_OK, 4}} << 1 << 0 << none << 0 << 0 << scanText.left(4) + scanText + scanText
            << QStringList{shortLine, retryLine, dropLine};
        QTest::newRow("both short") << WriteScript{{FT_OK, 4}, {FT_OK, 3}} << 1 << 1 << none << 0 << 0
                                    << scanText.left(4) + scanText.left(3)
                                    << QStringList{shortLine, "ErrorTaskComFail, " + mismatch.arg(3)};
        QTest::newRow("device gone") << WriteScript{{FT_DEVICE_GONE, 0}} << 1 << 1 << none << 0 << 0 << none
                                     << QStringList{shortLine, goneLine};
        // A failed retransmission costs its tick; the wait goes on.
        QTest::newRow("short retransmission")
            << WriteScript{{FT_OK, -1}, {FT_OK, 4}, {FT_OK, 2}} << 2 << 0 << none << 0 << 0
            << scanText + scanText.left(4) + scanText.left(2) + scanText
            << QStringList{retryLine, shortLine, "retry: Unable to send, " + mismatch.arg(2), retryLine,
                           dropLine};
    }

    // The scan request waits 120 ms per transmission. A failed send is reported like a drop.
    void send()
    {
        QFETCH(WriteScript, script);
        QFETCH(int, retries);
        QFETCH(int, result);
        QFETCH(QByteArray, second);
        QFETCH(int, secondTimeout);
        QFETCH(int, secondRetries);
        QFETCH(QByteArray, written);
        QFETCH(QStringList, lines);
        master().writeScript = script;
        LogCapture log;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);

        QCOMPARE(send(scanText, awaitAck(2, retries)), result);
        if (!second.isEmpty())
            QCOMPARE(send(second, awaitAck(secondTimeout, secondRetries)), 0);
        QTest::qWait(700);
        QCOMPARE(master().written, written);
        QCOMPARE(timeouts.count(), lines.contains(dropLine) || result != 0 ? 1 : 0);
        QCOMPARE(log.only(lines + QStringList{shortLine, goneLine, retryLine, dropLine}), lines);
    }

    void countDoesNotWrap_data()
    {
        QTest::addColumn<int>("retries");
        QTest::newRow("255") << 255;
        QTest::newRow("300") << 300;
    }

    // Ticks are driven directly, without the event loop: 256 real ticks would take half a minute.
    void countDoesNotWrap()
    {
        QFETCH(int, retries);
        LogCapture quiet;
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);
        const auto tick = [this] {
            return QMetaObject::invokeMethod(manager.get(), "retryTimerTimeoutCallBack",
                                             Qt::DirectConnection);
        };
        QCOMPARE(send(scanText, awaitAck(2, retries)), 0);
        for (int n = 1; n <= retries; ++n)
            QVERIFY(tick());
        QCOMPARE(timeouts.count(), 0);
        QCOMPARE(master().written, scanText.repeated(retries + 1));
        QVERIFY(tick());
        QCOMPARE(timeouts.count(), 1);
    }

    void answer_data()
    {
        QTest::addColumn<int>("prefixOffset"); // -1: no prefix awaited; else the prefix 3F F1
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QByteArray>("written");
        const QByteArray twice = eraseText + eraseText;
        // Receiver mode 2, sender mode 3, sender address 3F12D687, 4-byte addresses.
        QTest::newRow("COACKN from the module") << -1 << transport("F90B3F12D68701B3") << true << eraseText;
        QTest::newRow("COACKN, other module") << -1 << transport("F90B3F12D68801B4") << false << twice;
        QTest::newRow("CONACK from the module") << -1 << transport("F90B3F12D68702B4") << true << twice;
        QTest::newRow("prefix at offset") << 1 << transport("F90B3F12D68701003FF107EA") << true << eraseText;
        QTest::newRow("prefix elsewhere") << 1 << transport("F90B3F12D687013FF1E3") << false << twice;
        QTest::newRow("data shorter than offset")
            << 4 << transport("F90B3F12D68701003FF1E3") << false << twice;
        // Its acknowledgement is sent once, and the request waits on.
        QTest::newRow("CODATA from the module")
            << -1 << moduleData << false << eraseText + moduleAck + eraseText;
    }

    // The erase request waits 300 ms, once more after its retransmission, then is dropped.
    void answer()
    {
        QFETCH(int, prefixOffset);
        QFETCH(QByteArray, answer);
        QFETCH(bool, passes);
        QFETCH(QByteArray, written);
        AnswerPolicy policy = awaitAck(6, 1);
        if (prefixOffset >= 0) {
            policy.answerPrefix = QByteArray::fromHex("3FF1");
            policy.answerOffset = prefixOffset;
        }
        QSignalSpy answers(manager.get(), &MyTreatComPc::newFrameReceived);
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);

        QCOMPARE(send(eraseText, policy), 0);
        master().rxWaiting = answer;
        QTest::qWait(900);
        QCOMPARE(answers.count(), passes ? 1 : 0);
        QCOMPARE(master().written, written);
        QCOMPARE(timeouts.count(), written == eraseText ? 0 : 1);
    }

    void drain_data()
    {
        QTest::addColumn<QByteArray>("received");
        QTest::addColumn<WriteScript>("script");
        QTest::addColumn<Frames>("emitted");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("three frames")
            << moduleCount + scanReport + moduleAck << WriteScript{}
            << Frames{moduleCount, scanReport, moduleAck} << QStringList{} << QByteArray();
        QTest::newRow("bad checksum between two good frames")
            << moduleCount + transport("B90831F3") + scanReport << WriteScript{}
            << Frames{moduleCount, scanReport} << QStringList{"Unable to decode frame. abort"}
            << QByteArray();
        QTest::newRow("session line")
            << QByteArray("INFO:Session opened\r\n") + scanReport << WriteScript{} << Frames{scanReport}
            << QStringList{"Drop non bus data"} << QByteArray();
        // Frame type 2, receiver mode 1, no acknowledgement requested: none is sent.
        for (const char *hex : {"BE0B3F12D6871E3F00D4", "BD073F12D6871E3F00CF", "B90B3F12D6871E3F00CF"})
            QTest::newRow(hex) << transport(hex) << WriteScript{} << Frames{transport(hex)} << QStringList{}
                               << QByteArray();
        QTest::newRow("acknowledged")
            << moduleData << WriteScript{} << Frames{moduleData} << ackLines << moduleAck;
        QTest::newRow("device gone at the acknowledgement")
            << moduleData << WriteScript{{FT_DEVICE_GONE, 0}} << Frames{moduleData}
            << ackLines + QStringList{shortLine, goneLine, unableLine} << QByteArray();
    }

    // All items of one pass are handled in arrival order; with nothing sent every valid frame also
    // passes the answer test. A failed acknowledgement is reported like a drop.
    void drain()
    {
        QFETCH(QByteArray, received);
        QFETCH(WriteScript, script);
        QFETCH(Frames, emitted);
        QFETCH(QStringList, lines);
        QFETCH(QByteArray, written);
        master().writeScript = script;
        LogCapture log;
        QSignalSpy answers(manager.get(), &MyTreatComPc::newFrameReceived);
        QSignalSpy frames(manager.get(), &MyTreatComPc::allNewFrame);
        QSignalSpy timeouts(manager.get(), &MyTreatComPc::sendTimeout);

        master().rxWaiting = received;
        QTRY_COMPARE_WITH_TIMEOUT(frames.count(), emitted.size(), 1000);
        QTest::qWait(120);
        QCOMPARE(texts(frames), emitted);
        QCOMPARE(texts(answers), emitted);
        QCOMPARE(log.only(drainLines), lines);
        QCOMPARE(master().written, written);
        QCOMPARE(timeouts.count(), lines.contains(unableLine) ? 1 : 0);
        QCOMPARE(manager->isConnected(), !lines.contains(goneLine));
    }

    void emptyUrl()
    {
        start(QString{});
        QCOMPARE(manager->open(QString{}), -2);
        QVERIFY(!manager->isConnected());
        QCOMPARE(manager->urlString(), QString());
        QCOMPARE(driver().calls, QStringList());
    }

    void pcMode_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("unknownScheme");
        QTest::newRow("usb") << masterUrl << 2 << false;
        QTest::newRow("serial") << QStringLiteral("serial://ttyUSB7?baud=38400") << 2 << false;
        // Nothing listens on port 1: the open fails, the mode still follows the scheme.
        QTest::newRow("tcp") << QStringLiteral("tcp://127.0.0.1:1") << 1 << false;
        QTest::newRow("ftp") << QStringLiteral("ftp://localhost/file") << 2 << true;
    }

    void pcMode()
    {
        QFETCH(QString, url);
        QFETCH(int, mode);
        QFETCH(bool, unknownScheme);
        FakeSerialPortsScope noSerialPorts;
        start(url);
        LogCapture log;
        QCOMPARE(manager->urlString(), url);
        QCOMPARE(manager->pcMode(), mode);
        QCOMPARE(log.count(QStringLiteral("unknown scheme ??")), unknownScheme ? 1 : 0);
    }

    void reconnect()
    {
        stop();
        d2xx = std::make_unique<FakeD2xxScope>(); // no master attached yet
        manager = std::make_unique<MyTreatComPc>(masterUrl);
        LogCapture log;
        QCOMPARE(manager->reconnect(), -1);
        QCOMPARE(log.count("reconnect " + masterUrl + " failed"), 1);
        driver().addDevice();
        QCOMPARE(manager->reconnect(), 0);
        QVERIFY(manager->isConnected());
        const int opens = driver().calls.filter("Open ").size();
        QCOMPARE(manager->reconnect(), 0); // connected already: not opened again
        QCOMPARE(driver().calls.filter("Open ").size(), opens);
    }

    // Logging out waits 1500 ms with events processed: neither the module's last frame nor the
    // retry timer of a pending request may reach the outside from inside the destructor.
    void destructionIsSilentDuringSessionClose()
    {
        FakeEthModule module;
        start(module.url());
        QVERIFY(manager->isConnected());
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

    void unpluggedMasterIsReported()
    {
        QSignalSpy changes(manager.get(), &MyTreatComPc::linkConnectionChanged);
        driver().unplug(0);
        QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, 1000);
        QCOMPARE(changes.at(0).at(0).toBool(), false);
        QVERIFY(!manager->isConnected());
    }

    void errorTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("1, trailing blank")
            << 1 << QStringLiteral("Communication Failure, master not connected ");
        QTest::newRow("14") << 14 << QStringLiteral("Writing error");
        QTest::newRow("15") << 15 << QStringLiteral("unknown MyTreatComPc::ComError15");
        QTest::newRow("-1") << -1 << QStringLiteral("unknown MyTreatComPc::ComError-1");
    }

    void errorTexts()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(manager->errorString(MyTreatComPc::ComError(code)), text);
        QCOMPARE(manager->errorString(MyTreatComPc::ComError(code)), text); // the fallback is not stored
        QCOMPARE(manager->lastErrorString(), QStringLiteral("Succes"));
    }
};

QTEST_GUILESS_MAIN(TestMyTreatComPc)
#include "tst_mytreatcompc.moc"
