#include "framelog.h"
#include "simbus.h"

#include <QBuffer>
#include <QSignalSpy>
#include <QtTest>

namespace {

QByteArray wire(const char *hex)
{
    return '\x02' + QByteArray(hex) + '\x03';
}

// The binary frames carried by the transport forms a spy caught, for comparison with hex literals.
QList<QByteArray> binaries(const QSignalSpy &out)
{
    QList<QByteArray> frames;
    for (const QList<QVariant> &arguments : out) {
        const QByteArray text = arguments.at(0).toByteArray();
        frames.append(QByteArray::fromHex(text.mid(1, text.size() - 2)));
    }
    return frames;
}

QList<QByteArray> bytes(std::initializer_list<const char *> hexFrames)
{
    QList<QByteArray> frames;
    for (const char *hex : hexFrames)
        frames.append(QByteArray::fromHex(hex));
    return frames;
}

const SimModule lux{63, 0x12D687, 3};

// A bus with the LUX42 module that reports at once.
std::unique_ptr<SimBus> luxBus(const SimFaults &faults = SimFaults(), FrameLog *log = nullptr)
{
    auto bus = std::make_unique<SimBus>(QList<SimModule>{SimModule{9, 0x12D687, 1}, lux}, faults, log);
    bus->setScanMs(0);
    return bus;
}

} // namespace

class TestSimBus : public QObject
{
    Q_OBJECT

private slots:
    void scanReports_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("pcAck");
        QTest::addColumn<QList<QByteArray>>("expected"); // the ack, then the four reports
        QTest::newRow("serial, mode 2")
            << wire("BD0231F0") << wire("F90201FC")
            << bytes({"F9080102", "BD0863022A", "BD08370002FE",
                      "BD081600F0000000100912D687000001003F12D6870000030005", "BD08630129"});
        QTest::newRow("udp, mode 1") << wire("BD0131EF") << wire("F90101FB")
                                     << bytes({"F90401FE", "BD04630226", "BD04370002FA",
                                               "BD041600F0000000100912D687000001003F12D6870000030001",
                                               "BD04630125"});
    }

    // Each report waits for the PC's acknowledgement before the next goes out.
    void scanReports()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, pcAck);
        QFETCH(QList<QByteArray>, expected);
        const auto bus = luxBus();
        QSignalSpy out(bus.get(), &SimBus::frameOut);
        QSignalSpy finished(bus.get(), &SimBus::scanFinished);
        bus->receiveText(request);
        QCOMPARE(out.count(), 1); // the ack goes at once, the first report only from the event loop
        for (int sent = 2; sent <= expected.size(); ++sent) {
            QTRY_COMPARE_WITH_TIMEOUT(out.count(), sent, 2000);
            bus->receiveText(pcAck);
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
        QCOMPARE(binaries(out), expected);
        QVERIFY(!bus->isScanning());
    }

    void requests_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::addColumn<bool>("erased"); // the LUX42 module's DALI line
        QTest::addColumn<bool>("scanFinished");
        const QByteArray erase = wire("BD0E3F12D6871F3FF1C8");
        const QByteArray scan = wire("BD0231F0");
        // Only the addressed module answers, though another module has the same serial number.
        QTest::newRow("erase, mode 2") << "" << erase << bytes({"F90B3F12D68701B3"}) << true << false;
        QTest::newRow("erase, mode 1")
            << "" << wire("BD0D3F12D6871F3FF1C7") << bytes({"F9073F12D68701AF"}) << true << false;
        QTest::newRow("erase, unknown address")
            << "" << wire("BD0E3F0000011F3FF15A") << bytes({}) << false << false;
        // The request arrives and takes effect; only its acknowledgement is missing.
        QTest::newRow("erase, --no-ack") << "no-ack" << erase << bytes({}) << true << false;
        QTest::newRow("erase, --drop-rx 100") << "drop-rx" << erase << bytes({}) << false << false;
        QTest::newRow("erase, --drop-tx 100") << "drop-tx" << erase << bytes({}) << true << false;
        // Each report is sent once more, then given up: the scan still runs to its end.
        QTest::newRow("scan, --no-ack")
            << "no-ack" << scan
            << bytes({"BD0863022A", "BD0863022A", "BD08370002FE", "BD08370002FE",
                      "BD081600F0000000100912D687000001003F12D6870000030005",
                      "BD081600F0000000100912D687000001003F12D6870000030005", "BD08630129", "BD08630129"})
            << false << true;
        // Lost requests start nothing; lost reports are given up one after the other.
        QTest::newRow("scan, --drop-rx 100") << "drop-rx" << scan << bytes({}) << false << false;
        QTest::newRow("scan, --drop-tx 100") << "drop-tx" << scan << bytes({}) << false << true;
    }

    void requests()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, request);
        QFETCH(QList<QByteArray>, expected);
        QFETCH(bool, erased);
        QFETCH(bool, scanFinished);
        SimFaults faults;
        faults.noAck = fault == "no-ack";
        faults.dropRxPct = fault == "drop-rx" ? 100 : 0;
        faults.dropTxPct = fault == "drop-tx" ? 100 : 0;
        QBuffer logged;
        logged.open(QIODevice::WriteOnly);
        FrameLog log(&logged);
        const auto bus = luxBus(faults, &log);
        bus->setResend(20, 1);
        QSignalSpy out(bus.get(), &SimBus::frameOut);
        QSignalSpy erasures(bus.get(), &SimBus::daliLineErased);
        QSignalSpy finished(bus.get(), &SimBus::scanFinished);

        bus->receiveText(request);
        QTest::qWait(300);
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), scanFinished ? 1 : 0, 2000);
        QCOMPARE(binaries(out), expected);
        QCOMPARE(erasures.count(), erased ? 1 : 0);
        if (erased)
            QCOMPARE(erasures.at(0).at(0).toUInt(), 0x3F12D687u);
        QCOMPARE(logged.data().contains(
                     "DALI line of LUX42 s/n:1234567 erased: short addresses and groups cleared"),
                 erased);
    }
};

QTEST_GUILESS_MAIN(TestSimBus)
#include "tst_simbus.moc"
