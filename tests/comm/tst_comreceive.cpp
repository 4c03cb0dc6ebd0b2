// The receive path: draining the link, the answer test that ends a wait, and the
// acknowledgement of frames that ask for one.

#include "fakemaster.h"
#include "logcapture.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// Requests of a PC on USB: the bus scan (receiver mode 0) and the erase to the DALI module
// 3F12D687 (receiver mode 3, 4-byte addresses).
const QByteArray scanRequest = transport("BD0231F0");
const QByteArray eraseRequest = transport("BD0E3F12D6871F3FF1C8");
// Reports of the master to this PC (receiver mode 2), no acknowledgement requested.
const QByteArray moduleCount = transport("B9083702FA");
const QByteArray scanReport = transport("B90831F2");
// CODATA from the DALI module to this PC, acknowledgement requested; and its COACKN.
const QByteArray moduleData = transport("BD0B3F12D6871E3F00D3");
const QByteArray moduleAck = transport("F90E3F12D68701B6");

const QString ackLine = QStringLiteral("Ack 2:0 -> 3:1058199175");
const QString asciiLine = "ASCII " + QString::fromLatin1(moduleAck);
const QString fromLine = "From " + QString::fromLatin1(moduleData);
const QString goneLine = QStringLiteral("ErrorTaskComFail disconnected");
const QString shortLine = QStringLiteral("Error sending, retry");

// Long enough that an answer, read by the 50 ms poll, comes well before the first retransmission.
constexpr int answerTimeout = 8;

QList<QByteArray> texts(const QSignalSpy &spy)
{
    QList<QByteArray> result;
    for (const QList<QVariant> &arguments : spy)
        result.append(arguments.at(0).value<MyFrameDec>().text());
    return result;
}

} // namespace

class TestComReceive : public QObject
{
    Q_OBJECT

private slots:
    void init() { bench = std::make_unique<MasterBench>(); }
    void cleanup() { bench.reset(); }

    void answer_data();
    void answer();
    void drain_data();
    void drain();
    void acknowledgementIsNotAwaited();
    void acknowledgementKeepsPendingRequest();
    void noAcknowledgement_data();
    void noAcknowledgement();
    void acknowledgementOnLostLink_data();
    void acknowledgementOnLostLink();

private:
    std::unique_ptr<MasterBench> bench;
};

void TestComReceive::answer_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<int>("prefixOffset"); // -1: no prefix awaited
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("passes");
    QTest::addColumn<bool>("waitEnds");

    const QByteArray erase = eraseRequest;
    // Receiver mode 2, sender mode 3, sender address 3F12D687, 4-byte addresses.
    QTest::newRow("COACKN from the module") << erase << -1 << transport("F90B3F12D68701B3") << true << true;
    QTest::newRow("COACKN from another module")
        << erase << -1 << transport("F90B3F12D68801B4") << false << false;
    QTest::newRow("CONACK from the module") << erase << -1 << transport("F90B3F12D68702B4") << true << false;
    QTest::newRow("COACKN to receiver mode 1")
        << erase << -1 << transport("F9073F12D68701AF") << false << false;
    QTest::newRow("COACKN, 2-byte addresses") << erase << -1 << transport("F10B3F12014E") << false << false;
    QTest::newRow("CODATA from the module") << erase << -1 << transport("B90B3F12D6871E90") << false << false;
    QTest::newRow("scan: COACKN from the master")
        << scanRequest << -1 << transport("F9080102") << true << true;
    QTest::newRow("scan: module count") << scanRequest << -1 << moduleCount << false << false;
    // The awaited prefix is 3F F1.
    QTest::newRow("prefix at offset") << erase << 1 << transport("F90B3F12D68701003FF107EA") << true << true;
    QTest::newRow("prefix elsewhere") << erase << 1 << transport("F90B3F12D687013FF1E3") << false << false;
    QTest::newRow("data ends in the prefix")
        << erase << 1 << transport("F90B3F12D68701003FF2") << false << false;
    QTest::newRow("data shorter than offset")
        << erase << 4 << transport("F90B3F12D68701003FF1E3") << false << false;
}

void TestComReceive::answer()
{
    QFETCH(QByteArray, request);
    QFETCH(int, prefixOffset);
    QFETCH(QByteArray, answer);
    QFETCH(bool, passes);
    QFETCH(bool, waitEnds);
    MyTreatComPc *manager = bench->manager.get();
    AnswerPolicy policy = awaitAck(answerTimeout, 4);
    if (prefixOffset >= 0) {
        policy.answerPrefix = QByteArray::fromHex("3FF1");
        policy.answerOffset = prefixOffset;
    }
    QSignalSpy answers(manager, &MyTreatComPc::newFrameReceived);
    QSignalSpy frames(manager, &MyTreatComPc::allNewFrame);

    QCOMPARE(manager->sendFrame(MyFrameDec(request, false), policy), 0);
    bench->master->send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(), 1, 1000);
    QCOMPARE(answers.count(), passes ? 1 : 0);
    if (waitEnds) {
        QTest::qWait(answerTimeout * 50 + 200);
        QCOMPARE(bench->master->written(), request);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(bench->master->written(), request + request, answerTimeout * 50 + 500);
    }
}

void TestComReceive::drain_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::addColumn<QList<QByteArray>>("emitted");
    QTest::addColumn<QString>("dropLine");

    QTest::newRow("three frames") << moduleCount + scanReport + moduleAck
                                  << QList<QByteArray>{moduleCount, scanReport, moduleAck} << QString();
    QTest::newRow("bad checksum between two good frames")
        << moduleCount + transport("B90831F3") + scanReport << QList<QByteArray>{moduleCount, scanReport}
        << QStringLiteral("Unable to decode frame. abort");
    QTest::newRow("session line") << QByteArray("INFO:Session opened\r\n") + scanReport
                                  << QList<QByteArray>{scanReport} << QStringLiteral("Drop non bus data");
}

// All items of one pass are handled in arrival order; before anything was sent every valid frame
// also passes the answer test.
void TestComReceive::drain()
{
    QFETCH(QByteArray, received);
    QFETCH(QList<QByteArray>, emitted);
    QFETCH(QString, dropLine);
    LogCapture log;
    QSignalSpy answers(bench->manager.get(), &MyTreatComPc::newFrameReceived);
    QSignalSpy frames(bench->manager.get(), &MyTreatComPc::allNewFrame);

    bench->master->send(received);
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(), emitted.size(), 1000);
    QTest::qWait(120); // nothing more comes of the same bytes
    QCOMPARE(texts(frames), emitted);
    QCOMPARE(texts(answers), emitted);
    const QStringList drops{QStringLiteral("Unable to decode frame. abort"),
                            QStringLiteral("Drop non bus data")};
    QCOMPARE(log.only(drops), dropLine.isEmpty() ? QStringList() : QStringList{dropLine});
    QCOMPARE(bench->master->written(), QByteArray());
}

// The acknowledgement goes out once, between the two frame signals, and nothing waits for it.
void TestComReceive::acknowledgementIsNotAwaited()
{
    MyTreatComPc *manager = bench->manager.get();
    LogCapture log;
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);
    QByteArray writtenAtAnswer = "-";
    QByteArray writtenAtFrame = "-";
    connect(manager, &MyTreatComPc::newFrameReceived, this,
            [&] { writtenAtAnswer = bench->master->written(); });
    connect(manager, &MyTreatComPc::allNewFrame, this, [&] { writtenAtFrame = bench->master->written(); });

    bench->master->send(moduleData);
    QTRY_COMPARE_WITH_TIMEOUT(writtenAtFrame, moduleAck, 1000);
    QCOMPARE(writtenAtAnswer, QByteArray());
    QCOMPARE(log.only({ackLine, asciiLine, fromLine}), (QStringList{ackLine, asciiLine, fromLine}));
    // An awaited acknowledgement would be written again after 1000 ms.
    QTest::qWait(1300);
    QCOMPARE(bench->master->written(), moduleAck);
    QCOMPARE(timeouts.count(), 0);
}

void TestComReceive::acknowledgementKeepsPendingRequest()
{
    MyTreatComPc *manager = bench->manager.get();
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);

    QCOMPARE(manager->sendFrame(MyFrameDec(eraseRequest, false), awaitAck(4, 2)), 0);
    bench->master->send(moduleData);
    QTRY_COMPARE_WITH_TIMEOUT(timeouts.count(), 1, 2000);
    QCOMPARE(bench->master->written(), eraseRequest + moduleAck + eraseRequest + eraseRequest);
    const QList<qint64> writes = bench->master->driver().writeTimes;
    QVERIFY2(writes[2] - writes[0] >= 190 && writes[2] - writes[0] <= 350,
             qPrintable(QString::number(writes[2] - writes[0])));
}

void TestComReceive::noAcknowledgement_data()
{
    QTest::addColumn<QByteArray>("received");
    QTest::newRow("frame type 2") << transport("BE0B3F12D6871E3F00D4");
    QTest::newRow("receiver mode 1") << transport("BD073F12D6871E3F00CF");
    QTest::newRow("no acknowledgement request") << transport("B90B3F12D6871E3F00CF");
}

void TestComReceive::noAcknowledgement()
{
    QFETCH(QByteArray, received);
    QSignalSpy frames(bench->manager.get(), &MyTreatComPc::allNewFrame);
    bench->master->send(received);
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(), 1, 1000);
    QCOMPARE(bench->master->written(), QByteArray());
}

void TestComReceive::acknowledgementOnLostLink_data()
{
    QTest::addColumn<bool>("closeFirst");
    QTest::addColumn<QStringList>("expectedLines");

    const QString unable = QStringLiteral("Unable to send ack");
    QTest::newRow("device gone at the write")
        << false << QStringList{ackLine, asciiLine, fromLine, shortLine, goneLine, unable};
    QTest::newRow("link closed before")
        << true << QStringList{ackLine, asciiLine, fromLine, goneLine, unable};
}

void TestComReceive::acknowledgementOnLostLink()
{
    QFETCH(bool, closeFirst);
    QFETCH(QStringList, expectedLines);
    MyTreatComPc *manager = bench->manager.get();
    if (closeFirst) // a frame slot that switches to an absent endpoint
        connect(manager, &MyTreatComPc::newFrameReceived, this,
                [manager] { manager->open(absentDeviceUrl); });
    else
        bench->master->device().writeScript = {{FT_DEVICE_GONE, 0}};
    LogCapture log;
    QSignalSpy timeouts(manager, &MyTreatComPc::sendTimeout);
    QSignalSpy frames(manager, &MyTreatComPc::allNewFrame);

    bench->master->send(moduleData);
    QTRY_COMPARE_WITH_TIMEOUT(frames.count(), 1, 1000);
    QVERIFY(!manager->isConnected());
    QCOMPARE(timeouts.count(), 1);
    QCOMPARE(log.only(expectedLines + QStringList{shortLine}), expectedLines);
    QCOMPARE(bench->master->written(), QByteArray());
}

QTEST_GUILESS_MAIN(TestComReceive)
#include "tst_comreceive.moc"
