// The simulator's parts: its command line, the bus, the module's UDP session (the program itself: e2e).
#include "mydiftdi.h"
#include "simbus.h"
#include "simethmodule.h"
#include "simoptions.h"
#include "windowbench.h" // transport()

#include <QNetworkDatagram>
#include <QSignalSpy>
#include <QUdpSocket>
#include <QtTest>

Q_DECLARE_METATYPE(SimModule)

namespace {

using Frames = QList<QByteArray>;

Frames binaries(const QSignalSpy &out)
{
    Frames frames;
    for (const QList<QVariant> &arguments : out)
        frames << QByteArray::fromHex(arguments.at(0).toByteArray().mid(1).chopped(1));
    return frames;
}

Frames bytes(std::initializer_list<const char *> hexFrames)
{
    Frames frames;
    for (const char *hex : hexFrames)
        frames << QByteArray::fromHex(hex);
    return frames;
}

QByteArray encodedLogin(const QString &password)
{
    QByteArray login;
    MyDiFtdi::encodeLogin(login, password, QDateTime(QDate(2026, 3, 3), QTime(14, 5)));
    return login;
}

const SimModule lux{63, 0x12D687, 3};
const QByteArray sessionOpened("INFO:Session opened\r\n");
const char *const tableMode2 = "BD081600F0000000100912D687000001003F12D6870000030005";

// Another module has the LUX42's serial number: only the addressed one may answer.
std::unique_ptr<SimBus> luxBus(const SimFaults &faults = SimFaults())
{
    auto bus = std::make_unique<SimBus>(QList<SimModule>{SimModule{9, 0x12D687, 1}, lux}, faults, nullptr);
    bus->setScanMs(0);
    return bus;
}

} // namespace

class TestSim : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void options_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QList<SimModule>>("modules");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("numbers") << QStringList{"--module", "63:1234567:3"}
                                 << QList<SimModule>{{63, 1234567, 3}} << QString();
        QTest::newRow("codes, hex") << QStringList{"--module", "lux42:0X12d687:3", "--module", "DIM04:0x10:7"}
                                    << QList<SimModule>{lux, {4, 0x10, 7}} << QString();
        const auto rejected = [](const char *module, const char *reason) {
            QTest::newRow(reason) << QStringList{"--module", module} << QList<SimModule>{}
                                  << QStringLiteral("--module %1: %2").arg(module, reason);
        };
        rejected("63:1234567", "expected TYPE:SERIAL:VERSION");
        rejected("LUX43:1:3", "unknown module type LUX43");
        rejected("63:0x1000000:3", "serial number 0x1000000 is not a 24-bit number");
        rejected("63:1:0x3", "version 0x3 is not a number from 0 to 255");
        QTest::newRow("not loopback")
            << QStringList{"--udp", "192.168.1.20:17481"} << QList<SimModule>{}
            << "192.168.1.20:17481: only loopback addresses are accepted (127.0.0.0/8, ::1)";
    }

    void options()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QList<SimModule>, modules);
        QFETCH(QString, error);
        SimOptions options;
        QCOMPARE(options.parse(QStringList{"sim"} + arguments), error.isEmpty());
        QCOMPARE(options.error, error);
        if (error.isEmpty())
            QCOMPARE(options.modules, modules);
    }

    // Each report waits for the PC's acknowledgement before the next goes out.
    void scanReports()
    {
        const auto bus = luxBus();
        QSignalSpy out(bus.get(), &SimBus::frameOut);
        QSignalSpy finished(bus.get(), &SimBus::scanFinished);
        bus->receiveText(transport("BD0231F0"));
        for (int sent = 2; sent <= 5; ++sent) {
            QTRY_COMPARE_WITH_TIMEOUT(out.count(), sent, 2000);
            bus->receiveText(transport("F90201FC"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(finished.count(), 1, 2000);
        QCOMPARE(binaries(out), bytes({"F9080102", "BD0863022A", "BD08370002FE", tableMode2, "BD08630129"}));
    }

    void requests_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<Frames>("expected");
        QTest::addColumn<bool>("erased");
        const QByteArray erase = transport("BD0E3F12D6871F3FF1C8");
        QTest::newRow("erase") << "" << erase << bytes({"F90B3F12D68701B3"}) << true;
        QTest::newRow("erase, unknown address")
            << "" << transport("BD0E3F0000011F3FF15A") << Frames{} << false;
        QTest::newRow("erase, --drop-rx 100") << "drop-rx" << erase << Frames{} << false;
        // Each report is sent once more, then given up: the scan still runs to its end.
        QTest::newRow("scan, --no-ack") << "no-ack" << transport("BD0231F0")
                                        << bytes({"BD0863022A", "BD0863022A", "BD08370002FE", "BD08370002FE",
                                                  tableMode2, tableMode2, "BD08630129", "BD08630129"})
                                        << false;
    }

    void requests()
    {
        QFETCH(QString, fault);
        QFETCH(QByteArray, request);
        QFETCH(Frames, expected);
        QFETCH(bool, erased);
        SimFaults faults;
        faults.noAck = fault == "no-ack";
        faults.dropRxPct = fault == "drop-rx" ? 100 : 0;
        const auto bus = luxBus(faults);
        bus->setResend(20, 1);
        QSignalSpy out(bus.get(), &SimBus::frameOut);
        QSignalSpy erasures(bus.get(), &SimBus::daliLineErased);
        bus->receiveText(request);
        QTest::qWait(300);
        QCOMPARE(binaries(out), expected);
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
        QTest::newRow("right password") << "Secret-42" << encodedLogin("Secret-42") << sessionOpened;
        QTest::newRow("wrong password") << "Secret-42" << encodedLogin("Secret-43") << authFailed;
        QTest::newRow("frame outside session") << QString() << transport("BD0131EF")
                                               << QByteArray("INFO:Access denied. Open a session:INFO\r\n");
    }

    void udpSession()
    {
        QFETCH(QString, password);
        QFETCH(QByteArray, datagram);
        QFETCH(QByteArray, answer);
        SimBus bus({lux}, SimFaults(), nullptr);
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
