// Discovery over the fake USB driver, a fixed serial-port list and loopback probe peers.
#include "faked2xxdriver.h"
#include "fakeethmodule.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QElapsedTimer>
#include <QtTest>
#include <ctime>

namespace {

const QString kvmx = QStringLiteral("usb://localhost?vid=1027&pid=61264 0");
const QString vtap = QStringLiteral("usb://localhost?vid=1027&pid=61265 21");

// Each entry as "URL moduleType".
QStringList described(const QList<PortEntry> &entries)
{
    QStringList out;
    for (const PortEntry &entry : entries)
        out << entry.url.toString() + ' ' + QString::number(entry.moduleType);
    return out;
}

QStringList portLines(const QStringList &described)
{
    QStringList lines;
    for (const QString &entry : described)
        lines << QStringLiteral("Port : ") + entry.section(' ', 0, 0);
    return lines;
}

// "NAME VVVV:PPPP" for a port with vendor and product identifiers, "NAME -" for one without.
QList<SerialPortDescription> serialPorts(const QStringList &descriptions)
{
    QList<SerialPortDescription> ports;
    for (const QString &text : descriptions) {
        SerialPortDescription port{text.section(' ', 0, 0), "/dev/" + text.section(' ', 0, 0)};
        const QString ids = text.section(' ', 1);
        port.hasVendorIdentifier = ids != "-";
        port.vendorIdentifier = quint16(ids.section(':', 0, 0).toUInt(nullptr, 16));
        port.productIdentifier = quint16(ids.section(':', 1).toUInt(nullptr, 16));
        ports << port;
    }
    return ports;
}

ProbeTarget targetOf(const FakeEthModule &module)
{
    return {QHostAddress::LocalHost, quint16(QUrl(module.url()).port())};
}

} // namespace

class TstDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void enumeration_data()
    {
        QTest::addColumn<QList<quint32>>("usb"); // device ids
        QTest::addColumn<QStringList>("serial");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QStringList>("warnings");
        QTest::addColumn<QStringList>("entries");
        const QList<quint32> master{0x0403EF50};
        QTest::newRow("one bus master") << master << QStringList() << 1 << QStringList() << QStringList{kvmx};
        QTest::newRow("two bus masters, one entry") << QList<quint32>{0x0403EF50, 0x0403EF50} << QStringList()
                                                    << 1 << QStringList() << QStringList{kvmx};
        QTest::newRow("vendor id not compared")
            << QList<quint32>{0x1234EF50} << QStringList() << 1 << QStringList() << QStringList{kvmx};
        QTest::newRow("only vtap, other chip")
            << QList<quint32>{0x0403EF51, 0x04036001} << QStringList() << 1 << QStringList() << QStringList();
        QTest::newRow("both, master first") << QList<quint32>{0x0403EF51, 0x0403EF50} << QStringList() << 9
                                            << QStringList() << QStringList{kvmx, vtap};
        QTest::newRow("mask 0") << master << QStringList{"COM7 0403:EF50"} << 0 << QStringList()
                                << QStringList();
        // The URL parser folds the port name to lower case; the serial transport matches it without case.
        QTest::newRow("serial, in the system's order")
            << master
            << QStringList{"ttyUSB1 0403:EF51", "ttyS0 -", "COM3 067B:EF50", "COM4 0403:6001",
                           "ttyUSB0 0403:EF50"}
            << 2 << QStringList()
            << QStringList{"serial://ttyusb1?baud=115200 21", "serial://ttyusb0?baud=38400 0"};
        // A driver failure costs that enumeration its entry and one warning, not the serial ports.
        for (const char *call :
             {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList", "FT_GetDeviceInfoDetail"}) {
            QTest::newRow(call) << master << QStringList{"ttyUSB0 0403:EF50"} << 3
                                << QStringList{QString(call) + " failed : 18"}
                                << QStringList{"serial://ttyusb0?baud=38400 0"};
        }
    }

    void enumeration()
    {
        QFETCH(QList<quint32>, usb);
        QFETCH(QStringList, serial);
        QFETCH(int, mask);
        QFETCH(QStringList, warnings);
        QFETCH(QStringList, entries);
        FakeD2xxScope fake;
        for (quint32 id : usb) {
            FakeUsbDevice device;
            device.id = id;
            fake.driver().addDevice(device);
        }
        const QString failing = warnings.value(0).section(' ', 0, 0);
        fake.driver().createListStatus = failing == "FT_CreateDeviceInfoList" ? FT_OTHER_ERROR : FT_OK;
        fake.driver().getListStatus = failing == "FT_GetDeviceInfoList" ? FT_OTHER_ERROR : FT_OK;
        fake.driver().detailStatus = failing == "FT_GetDeviceInfoDetail" ? FT_OTHER_ERROR : FT_OK;
        FakeSerialPortsScope ports(serialPorts(serial));
        LogCapture log;
        QCOMPARE(described(MyDiFtdi::discoverPorts(mask)), entries);
        QCOMPARE(log.lines(), warnings + portLines(entries));
        QCOMPARE(fake.driver().calls.isEmpty(), !(mask & (PortUsbKvmx | PortUsbVtap)));
        QCOMPARE(fake.driver().openHandleCount(), 0);
    }

    // One probe run covers all kinds in mask order and the answer rules: each target gets the 15 probe
    // bytes; every answer starting with "INFO:I AM" after trimming gives an entry (a long one is cut,
    // not lost), also one arriving late in the 2.5 s; the rest is ignored. The answers come from timers,
    // so this also shows that the wait lets the event loop run.
    void allKindsAndProbe()
    {
        FakeD2xxScope fake;
        FakeUsbDevice vtapDevice;
        vtapDevice.id = 0x0403EF51;
        fake.driver().addDevice(vtapDevice);
        fake.driver().addDevice();
        FakeSerialPortsScope ports(serialPorts({"COM9 0403:EF51"}));
        FakeEthModule module, slowModule;
        QTimer::singleShot(300, &module, [&module] {
            for (const QByteArray &reply : {QByteArray("  INFO:I AM NTX07 00C0FFEE\r\n"),
                                            QByteArray("HELLO INFO:I AM"), QByteArray("info:i am lower case"),
                                            QByteArray::fromHex("00") + "INFO:I AM behind a zero byte",
                                            QByteArray("INFO:I AM") + QByteArray(300, 'x')})
                module.send(reply);
        });
        QTimer::singleShot(2000, &slowModule,
                           [&] { slowModule.send(QByteArray("INFO:I AM late\0garbage", 22)); });
        QElapsedTimer wall;
        wall.start();
        const std::clock_t cpuBefore = std::clock();
        const QList<PortEntry> entries =
            MyDiFtdi::discoverPorts(15, {targetOf(module), targetOf(slowModule)}, 0);
        const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;

        const QByteArray probe = QByteArray::fromHex("444953434f56455220514e54583037"); // DISCOVER QNTX07
        QCOMPARE(module.messages, QByteArrayList{probe});
        QCOMPARE(slowModule.messages, QByteArrayList{probe});
        const QString udp = module.url() + " 44";
        QCOMPARE(described(entries), (QStringList{kvmx, "serial://com9?baud=115200 21", udp, udp,
                                                  slowModule.url() + " 44", vtap}));
        QVERIFY(wall.elapsed() >= 2500);
        // The wait sleeps between looks (some 30 ms of CPU in all); spinning takes a core for 2.5 s.
        QVERIFY2(cpuMs < 300, qPrintable(QStringLiteral("probe used %1 ms of CPU").arg(cpuMs)));
    }
};

QTEST_MAIN(TstDiscovery)
#include "tst_discovery.moc"
