// The simulator's parts: its command line, the bus, the module's UDP session (the program itself: e2e).
#include "simbus.h"
#include "simethmodule.h"
#include "simoptions.h"
#include "testbytes.h"

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

namespace {

// The hex digits of the frames sent, blank-separated.
QByteArray sent(const QSignalSpy &out)
{
    QByteArrayList digits;
    for (const QList<QVariant> &arguments : out)
        digits << arguments.at(0).toByteArray().mid(1).chopped(1);
    return digits.join(' ');
}

// The LOGIN of 14:05 on 3 March 2026 for the passwords Secret-42 and Secret-43, worked out by hand from
// the module's encoding: "LOGIN", then the date and time fields complemented, the check bytes of the
// password mixed with the fields' sum at the separators.
const QByteArray loginSecret42 = QByteArray::fromHex("4C4F47494ECDCF88CDC9F8DFCCEEDFCCD8CECBFDDFCA");
const QByteArray loginSecret43 = QByteArray::fromHex("4C4F47494ECDCF88CDC9F8DFCCEDDFCCDFCECBFDDFCA");

const QByteArray sessionOpened("INFO:Session opened\r\n");

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void refusedOptions_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("error");
        const auto module = [](const char *text, const char *reason) {
            QTest::newRow(reason) << QStringList{"--module", text}
                                  << QStringLiteral("--module %1: %2").arg(text, reason);
        };
        module("63:1234567", "expected TYPE:SERIAL:VERSION");
        module("LUX43:1:3", "unknown module type LUX43");
        module("63:0x1000000:3", "serial number 0x1000000 is not a 24-bit number");
        module("63:1:0x3", "version 0x3 is not a number from 0 to 255");
        QTest::newRow("not loopback")
            << QStringList{"--udp", "192.168.1.20:17481"}
            << "192.168.1.20:17481: only loopback addresses are accepted (127.0.0.0/8, ::1)";
    }

    void refusedOptions()
    {
        QFETCH(QStringList, arguments);
        SimOptions options;
        QVERIFY(!options.parse(QStringList{"sim"} + arguments));
        QTEST(options.error, "error");
    }

    // The bus as its command line sets it up: module types by number and by code in any case, serial
    // numbers in decimal and in hex. The first module has the LUX42's serial number: only the
    // addressed one may answer.
    void requests_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArrayList>("fromPc"); // a few ms apart
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<bool>("erased");
        const QByteArrayList erase{transport("BD0E3F12D6871F3FF1C8")};
        QTest::newRow("erase") << "" << erase << QByteArray("F90B3F12D68701B3") << true;
        QTest::newRow("erase, --nack 100") << "--nack 100" << erase << QByteArray("F90B3F12D68702B4") << true;
        QTest::newRow("erase, unknown address")
            << "" << QByteArrayList{transport("BD0E3F0000011F3FF15A")} << QByteArray() << false;
        QTest::newRow("erase, not a DALI interface")
            << "" << QByteArrayList{transport("BD0E0912D6871F3FF192")} << QByteArray("F90B0912D687017D")
            << false;
        // Each report is sent once more, then given up: the scan still runs to its end.
        const QByteArray scan = transport("BD0231F0");
        const QByteArray table = "BD081600F0000000100912D687000001003F12D6870000030005";
        const QByteArray rest = "BD08370002FE BD08370002FE " + table + ' ' + table + " BD08630129 BD08630129";
        QTest::newRow("scan, --no-ack")
            << "--no-ack" << QByteArrayList{scan} << "BD0863022A BD0863022A " + rest << false;
        // The PC's ack settles a report only when it goes to the report's sender: not an ack to a module.
        QTest::newRow("scan, an ack to a module") << "" << QByteArrayList{scan, transport("F90E3F12D68701B6")}
                                                  << "F9080102 BD0863022A BD0863022A " + rest << false;
        // A master reporting from its own address takes the ack to that address, not to mode 0.
        const QByteArray own = "BD0B00A5B6C7";
        const QByteArray ownTable = own + "1600F0000000100912D687000001003F12D687000003002A";
        const QByteArray ownRest = own + "37000223 " + own + "37000223 " + ownTable + ' ' + ownTable + ' ' +
                                   own + "63014E " + own + "63014E";
        QTest::newRow("scan, master at its own address, acked there")
            << "--master-address 0xA5B6C7" << QByteArrayList{scan, transport("F90E00A5B6C7012A")}
            << "F9080102 " + own + "63024F " + ownRest << false;
        QTest::newRow("scan, master at its own address, acked to a module")
            << "--master-address 0xA5B6C7" << QByteArrayList{scan, transport("F90E3F12D68701B6")}
            << "F9080102 " + own + "63024F " + own + "63024F " + ownRest << false;
        QTest::newRow("scan, master at its own address, acked to mode 0")
            << "--master-address 0xA5B6C7" << QByteArrayList{scan, transport("F90201FC")}
            << "F9080102 " + own + "63024F " + own + "63024F " + ownRest << false;
        // A count of one byte, a table whose byte 1 is not the table marker; no start, no end.
        const QByteArray foreign = "BD081600F1000000100912D687000001003F12D6870000030006";
        QTest::newRow("scan, --unusable-reports")
            << "--unusable-reports" << QByteArrayList{scan}
            << "F9080102 BD083702FE BD083702FE " + foreign + ' ' + foreign << false;
    }

    void requests()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArrayList, fromPc);
        QFETCH(bool, erased);
        SimOptions options;
        QVERIFY(options.parse(
            QStringLiteral("sim --module 9:1234567:1 --module lux42:0X12d687:3 --scan-ms 0 --resend-ms 20 "
                           "--resends 1 %1")
                .arg(fault)
                .split(' ', Qt::SkipEmptyParts)));
        SimBus bus(options.modules, options.faults, nullptr);
        bus.setScanMs(options.scanMs);
        bus.setResend(options.resendMs, options.resends);
        if (options.masterAddressed)
            bus.setMasterAddress(options.masterAddress);
        bus.setUnusableReports(options.unusableReports);
        QSignalSpy out(&bus, &SimBus::frameOut);
        QSignalSpy erasures(&bus, &SimBus::daliLineErased);
        for (const QByteArray &frame : fromPc) {
            bus.receiveText(frame);
            QTest::qWait(5); // the next report goes out
        }
        QTest::qWait(300);
        QTEST(sent(out), "expected");
        QCOMPARE(erasures.count(), erased ? 1 : 0);
        if (erased)
            QCOMPARE(erasures.at(0).at(0).toUInt(), 0x3F12D687u);
    }

    void udpSession_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<QByteArray>("datagram");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray authFailed("INFO:Auth failed\r\n");
        QTest::newRow("right password") << "Secret-42" << loginSecret42 << sessionOpened;
        QTest::newRow("wrong password") << "Secret-42" << loginSecret43 << authFailed;
        QTest::newRow("frame outside session") << QString() << transport("BD0131EF")
                                               << QByteArray("INFO:Access denied. Open a session:INFO\r\n");
    }

    void udpSession()
    {
        QFETCH(QString, password);
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, answer);
        SimBus bus({SimModule{63, 0x12D687, 3}}, SimFaults(), nullptr);
        SimEthModule module(&bus, nullptr);
        module.setPassword(password);
        QString error;
        QVERIFY2(module.start(SimEthModule::Udp, QHostAddress::LocalHost, 0, error), qPrintable(error));
        QUdpSocket client;
        QVERIFY(client.bind(QHostAddress(QHostAddress::LocalHost), 0));
        client.writeDatagram(datagram, QHostAddress::LocalHost, module.localPort());
        QVERIFY(QTest::qWaitFor([&client] { return client.hasPendingDatagrams(); }, 2000));
        QCOMPARE(client.receiveDatagram().data(), answer);
        QCOMPARE(module.hasSession(), answer == sessionOpened);
        QVERIFY(!bus.isScanning());
    }
};

QTEST_GUILESS_MAIN(TestSim)
#include "tst_sim.moc"
