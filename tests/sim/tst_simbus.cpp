#include "framelog.h"
#include "simbus.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray wire(const char *hex)
{
    return '\x02' + QByteArray(hex).replace(' ', "") + '\x03';
}

// The binary frame carried by a transport form, for comparison with hex literals.
QByteArray binary(const QVariant &signalArgument)
{
    const QByteArray text = signalArgument.toByteArray();
    return QByteArray::fromHex(text.mid(1, text.size() - 2));
}

QByteArray bytes(const char *hex)
{
    return QByteArray::fromHex(hex);
}

const SimModule lux{63, 0x12D687, 3};

} // namespace

class TestSimBus : public QObject
{
    Q_OBJECT

private slots:
    void moduleTable();
    void scanReports_data();
    void scanReports();
    void unacknowledgedReportIsResent();
    void repeatedScanRequestDoesNotRestart();
    void eraseAcknowledgedByModule_data();
    void eraseAcknowledgedByModule();
    void unknownAddressNotAcknowledged();
    void badChecksumIgnored();
    void noAckWithholdsAcknowledgements();
    void dropAll_data();
    void dropAll();
    void corruptBreaksChecksum();

private:
    static void ackReports(SimBus &bus, QSignalSpy &out, int count, const QByteArray &pcAck);
};

void TestSimBus::moduleTable()
{
    QCOMPARE(SimBus::moduleTablePayload({lux}), bytes("00F0000000083F12D687000003"
                                                      "00"));
    QCOMPARE(SimBus::moduleTablePayload({SimModule{9, 42, 1}, lux}), bytes("00F000000010"
                                                                           "0900002A00000100"
                                                                           "3F12D68700000300"));
    QCOMPARE(SimBus::moduleTablePayload({}), bytes("00F000000000"));
}

void TestSimBus::scanReports_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("pcAck");
    QTest::addColumn<QList<QByteArray>>("expected");

    QTest::newRow("serial, mode 2") << wire("BD0231F0") << wire("F90201FC")
                                    << QList<QByteArray>{bytes("F9080102"), bytes("BD0863022A"),
                                                         bytes("BD08370001FD"),
                                                         bytes("BD081600F0000000083F12D687000003"
                                                               "0084"),
                                                         bytes("BD08630129")};
    QTest::newRow("udp, mode 1") << wire("BD0131EF") << wire("F90101FB")
                                 << QList<QByteArray>{bytes("F90401FE"), bytes("BD04630226"),
                                                      bytes("BD04370001F9"),
                                                      bytes("BD041600F0000000083F12D687000003"
                                                            "0080"),
                                                      bytes("BD04630125")};
}

void TestSimBus::ackReports(SimBus &bus, QSignalSpy &out, int count, const QByteArray &pcAck)
{
    for (int sent = out.count(); sent < count; sent = out.count()) {
        QTRY_COMPARE_WITH_TIMEOUT(out.count(), sent + 1, 2000);
        bus.receiveText(pcAck);
    }
}

void TestSimBus::scanReports()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, pcAck);
    QFETCH(QList<QByteArray>, expected);

    SimBus bus({lux}, SimFaults(), nullptr);
    bus.setScanMs(0);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy finished(&bus, &SimBus::scanFinished);
    bus.receiveText(request);
    QCOMPARE(out.count(), 1); // the ack goes at once, the first report only from the event loop
    ackReports(bus, out, expected.size(), pcAck);
    QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
    QCOMPARE(out.count(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(binary(out.at(i).at(0)), expected.at(i));
    QVERIFY(!bus.isScanning());
}

void TestSimBus::unacknowledgedReportIsResent()
{
    SimBus bus({lux}, SimFaults(), nullptr);
    bus.setScanMs(0);
    bus.setResend(200, 2);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy finished(&bus, &SimBus::scanFinished);
    bus.receiveText(wire("BD0231F0"));
    // The scan-started report: first sending and two resends, then it is given up.
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 4, 2000);
    for (int i = 1; i < 4; ++i)
        QCOMPARE(binary(out.at(i).at(0)), bytes("BD0863022A"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 5, 2000);
    QCOMPARE(binary(out.at(4).at(0)), bytes("BD08370001FD"));
    // Acknowledged at once, the count report is not sent again.
    bus.receiveText(wire("F90201FC"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 6, 2000);
    QCOMPARE(binary(out.at(5).at(0)).at(2), char(0x16));
    QCOMPARE(finished.count(), 0);
}

void TestSimBus::repeatedScanRequestDoesNotRestart()
{
    SimBus bus({lux}, SimFaults(), nullptr);
    bus.setScanMs(0);
    QSignalSpy out(&bus, &SimBus::frameOut);
    bus.receiveText(wire("BD0231F0"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 2, 2000);
    bus.receiveText(wire("F90201FC"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 3, 2000);
    bus.receiveText(wire("BD0231F0")); // the PC lost the ack and asks again
    QCOMPARE(out.count(), 4);
    QCOMPARE(binary(out.at(3).at(0)), bytes("F9080102"));
    bus.receiveText(wire("F90201FC"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 5, 2000);
    QCOMPARE(binary(out.at(4).at(0)), bytes("BD081600F0000000083F12D687000003"
                                            "0084"));
}

void TestSimBus::eraseAcknowledgedByModule_data()
{
    QTest::addColumn<QByteArray>("request");
    QTest::addColumn<QByteArray>("ack");

    QTest::newRow("serial") << wire("BD0E3F12D6871F3FF1C8") << bytes("F90B3F12D68701B3");
    QTest::newRow("udp") << wire("BD0D3F12D6871F3FF1C7") << bytes("F9073F12D68701AF");
}

void TestSimBus::eraseAcknowledgedByModule()
{
    QFETCH(QByteArray, request);
    QFETCH(QByteArray, ack);

    QBuffer logged;
    logged.open(QIODevice::WriteOnly);
    FrameLog log(&logged);
    SimBus bus({SimModule{9, 0x12D687, 1}, lux}, SimFaults(), &log);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy erased(&bus, &SimBus::daliLineErased);
    bus.receiveText(request);
    QCOMPARE(out.count(), 1);
    QCOMPARE(binary(out.at(0).at(0)), ack);
    QCOMPARE(erased.count(), 1);
    QCOMPARE(erased.at(0).at(0).toUInt(), 0x3F12D687u);
    QVERIFY(
        logged.data().contains("DALI line of LUX42 s/n:1234567 erased: short addresses and groups cleared"));
}

void TestSimBus::unknownAddressNotAcknowledged()
{
    SimBus bus({lux}, SimFaults(), nullptr);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy erased(&bus, &SimBus::daliLineErased);
    bus.receiveText(wire("BD0E3F0000011F3FF15A"));
    // The same serial number under another module type is another module.
    bus.receiveText(wire("BD0E0912D6871F3FF192"));
    QTest::qWait(50);
    QCOMPARE(out.count(), 0);
    QCOMPARE(erased.count(), 0);
}

void TestSimBus::badChecksumIgnored()
{
    QBuffer logged;
    logged.open(QIODevice::WriteOnly);
    FrameLog log(&logged);
    SimBus bus({lux}, SimFaults(), &log);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QTest::ignoreMessage(QtDebugMsg, "checksums mismatch. Rx= 241  != Calc= 240");
    bus.receiveText(wire("BD0231F1"));
    QTest::qWait(50);
    QCOMPARE(out.count(), 0);
    QVERIFY(!bus.isScanning());
    QVERIFY(logged.data().contains("bad checksum F1, expected F0: ignored"));
}

void TestSimBus::noAckWithholdsAcknowledgements()
{
    SimFaults faults;
    faults.noAck = true;
    SimBus bus({lux}, faults, nullptr);
    bus.setScanMs(0);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy erased(&bus, &SimBus::daliLineErased);
    bus.receiveText(wire("BD0E3F12D6871F3FF1C8"));
    QCOMPARE(erased.count(), 1);
    QCOMPARE(out.count(), 0);
    // The request itself arrived, so the scan runs; only its ack is missing.
    bus.receiveText(wire("BD0231F0"));
    QTRY_COMPARE_WITH_TIMEOUT(out.count(), 1, 2000);
    QCOMPARE(binary(out.at(0).at(0)), bytes("BD0863022A"));
}

void TestSimBus::dropAll_data()
{
    QTest::addColumn<bool>("fromPc");
    QTest::newRow("drop-rx 100") << true;
    QTest::newRow("drop-tx 100") << false;
}

void TestSimBus::dropAll()
{
    QFETCH(bool, fromPc);
    SimFaults faults;
    (fromPc ? faults.dropRxPct : faults.dropTxPct) = 100;
    SimBus bus({lux}, faults, nullptr);
    bus.setScanMs(0);
    bus.setResend(20, 1);
    QSignalSpy out(&bus, &SimBus::frameOut);
    QSignalSpy erased(&bus, &SimBus::daliLineErased);
    QSignalSpy finished(&bus, &SimBus::scanFinished);
    bus.receiveText(wire("BD0231F0"));
    bus.receiveText(wire("BD0E3F12D6871F3FF1C8"));
    // Lost requests start nothing; lost reports are given up one after the other.
    if (fromPc) {
        QTest::qWait(100);
        QCOMPARE(finished.count(), 0);
        QCOMPARE(erased.count(), 0);
    } else {
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
        QCOMPARE(erased.count(), 1);
    }
    QCOMPARE(out.count(), 0);
}

void TestSimBus::corruptBreaksChecksum()
{
    SimFaults faults;
    faults.corruptPct = 100;
    SimBus bus({lux}, faults, nullptr);
    QSignalSpy out(&bus, &SimBus::frameOut);
    bus.receiveText(wire("BD0E3F12D6871F3FF1C8"));
    QCOMPARE(out.count(), 1);
    QCOMPARE(binary(out.at(0).at(0)), bytes("F90B3F12D68701B4"));
}

QTEST_GUILESS_MAIN(TestSimBus)
#include "tst_simbus.moc"
