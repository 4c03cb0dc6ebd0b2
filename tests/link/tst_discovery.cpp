#include "faked2xxdriver.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QElapsedTimer>
#include <QTimer>
#include <QUdpSocket>
#include <QtTest>
#include <ctime>

namespace {

// "DISCOVER QNTX07"
const QByteArray probeBytes = QByteArray::fromHex("444953434f56455220514e54583037");

QStringList urlsOf(const QList<PortEntry> &entries)
{
    QStringList urls;
    for (const PortEntry &entry : entries)
        urls << entry.url.toString();
    return urls;
}

QList<int> typesOf(const QList<PortEntry> &entries)
{
    QList<int> types;
    for (const PortEntry &entry : entries)
        types << entry.moduleType;
    return types;
}

QStringList portLines(const QStringList &urls)
{
    QStringList lines;
    for (const QString &url : urls)
        lines << QStringLiteral("Port : ") + url;
    return lines;
}

// "NAME VVVV:PPPP" for a port with vendor and product identifiers, "NAME -" for one without.
QList<SerialPortDescription> serialPorts(const QStringList &specs)
{
    QList<SerialPortDescription> ports;
    for (const QString &spec : specs) {
        const QStringList parts = spec.split(' ');
        SerialPortDescription port;
        port.portName = parts[0];
        port.systemLocation = QStringLiteral("/dev/") + parts[0];
        if (parts[1] != QLatin1String("-")) {
            port.hasVendorIdentifier = true;
            port.vendorIdentifier = quint16(parts[1].section(':', 0, 0).toUInt(nullptr, 16));
            port.productIdentifier = quint16(parts[1].section(':', 1, 1).toUInt(nullptr, 16));
        }
        ports << port;
    }
    return ports;
}

quint16 freeUdpPort()
{
    QUdpSocket socket;
    socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
    return socket.localPort();
}

// An Ethernet interface module stand-in on the loopback: it notes every datagram it gets and
// answers each with the replies it was given, the late ones after a delay.
class ProbePeer : public QObject
{
public:
    QList<QByteArray> replies;
    QList<QByteArray> lateReplies;
    int lateDelayMs = 0;
    QList<QByteArray> received;

    ProbePeer()
    {
        socket.bind(QHostAddress(QHostAddress::LocalHost), 0);
        connect(&socket, &QUdpSocket::readyRead, this, &ProbePeer::answer);
    }
    quint16 port() const { return socket.localPort(); }
    ProbeTarget target() const { return {QHostAddress::LocalHost, port()}; }

private:
    void answer()
    {
        while (socket.hasPendingDatagrams()) {
            QByteArray datagram(int(socket.pendingDatagramSize()), '\0');
            QHostAddress sender;
            quint16 senderPort = 0;
            socket.readDatagram(datagram.data(), datagram.size(), &sender, &senderPort);
            received << datagram;
            for (const QByteArray &reply : qAsConst(replies))
                socket.writeDatagram(reply, sender, senderPort);
            QTimer::singleShot(lateDelayMs, this, [this, sender, senderPort] {
                for (const QByteArray &reply : qAsConst(lateReplies))
                    socket.writeDatagram(reply, sender, senderPort);
            });
        }
    }

    QUdpSocket socket;
};

} // namespace

class TstDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void usbEnumeration_data();
    void usbEnumeration();
    void usbEnumerationFailures_data();
    void usbEnumerationFailures();
    void serialEnumeration_data();
    void serialEnumeration();
    void udpProbe();
    void allKindsInMaskOrder();
};

void TstDiscovery::usbEnumeration_data()
{
    QTest::addColumn<QList<quint32>>("attached");
    QTest::addColumn<int>("mask");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QList<int>>("types");

    const QString kvmx = QStringLiteral("usb://localhost?vid=1027&pid=61264");
    const QString vtap = QStringLiteral("usb://localhost?vid=1027&pid=61265");
    QTest::newRow("one bus master") << QList<quint32>{0x0403EF50} << 1 << QStringList{kvmx} << QList<int>{0};
    QTest::newRow("two bus masters, one entry")
        << QList<quint32>{0x0403EF50, 0x0403EF50} << 1 << QStringList{kvmx} << QList<int>{0};
    QTest::newRow("nothing attached") << QList<quint32>{} << 1 << QStringList{} << QList<int>{};
    QTest::newRow("only a vtap device") << QList<quint32>{0x0403EF51} << 1 << QStringList{} << QList<int>{};
    QTest::newRow("other FTDI chip") << QList<quint32>{0x04036001} << 9 << QStringList{} << QList<int>{};
    QTest::newRow("vendor id not compared")
        << QList<quint32>{0x1234EF50} << 1 << QStringList{kvmx} << QList<int>{0};
    QTest::newRow("vtap behind a master")
        << QList<quint32>{0x0403EF50, 0x0403EF51} << 8 << QStringList{vtap} << QList<int>{21};
    QTest::newRow("both, master first")
        << QList<quint32>{0x0403EF51, 0x0403EF50} << 9 << QStringList{kvmx, vtap} << QList<int>{0, 21};
    QTest::newRow("mask 0") << QList<quint32>{0x0403EF50} << 0 << QStringList{} << QList<int>{};
}

void TstDiscovery::usbEnumeration()
{
    QFETCH(QList<quint32>, attached);
    QFETCH(int, mask);
    QFETCH(QStringList, urls);
    QFETCH(QList<int>, types);

    FakeD2xxScope usb;
    FakeSerialPortsScope noSerialPorts;
    for (quint32 id : attached) {
        FakeUsbDevice device;
        device.id = id;
        usb.driver().addDevice(device);
    }
    LogCapture log;
    const QList<PortEntry> entries = MyDiFtdi::discoverPorts(mask);

    QCOMPARE(urlsOf(entries), urls);
    QCOMPARE(typesOf(entries), types);
    QCOMPARE(log.lines(), portLines(urls));
    QCOMPARE(usb.driver().openHandleCount(), 0);
}

void TstDiscovery::usbEnumerationFailures_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<quint32>("status");
    QTest::addColumn<QString>("warning");

    QTest::newRow("device count") << "create" << quint32(18) << "FT_CreateDeviceInfoList failed : 18";
    QTest::newRow("device list") << "list" << quint32(4) << "FT_GetDeviceInfoList failed : 4";
    QTest::newRow("device details") << "detail" << quint32(1) << "FT_GetDeviceInfoDetail failed : 1";
}

// A driver failure costs that enumeration its entry and one warning; the serial ports are still
// listed in the same call.
void TstDiscovery::usbEnumerationFailures()
{
    QFETCH(QString, failing);
    QFETCH(quint32, status);
    QFETCH(QString, warning);

    FakeD2xxScope usb;
    usb.driver().addDevice();
    FT_STATUS &scripted = failing == QLatin1String("create") ? usb.driver().createListStatus
                          : failing == QLatin1String("list") ? usb.driver().getListStatus
                                                             : usb.driver().detailStatus;
    scripted = status;
    FakeSerialPortsScope serial(serialPorts({QStringLiteral("ttyUSB0 0403:EF50")}));

    LogCapture log;
    const QList<PortEntry> entries = MyDiFtdi::discoverPorts(PortUsbKvmx | PortSerial);

    QCOMPARE(urlsOf(entries), QStringList{QStringLiteral("serial://ttyusb0?baud=38400")});
    QCOMPARE(log.lines(), QStringList({warning, QStringLiteral("Port : serial://ttyusb0?baud=38400")}));
}

void TstDiscovery::serialEnumeration_data()
{
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("urls");
    QTest::addColumn<QList<int>>("types");

    // The URL parser folds the port name to lower case; the serial transport matches it without case.
    QTest::newRow("vtap converter") << QStringList{"COM7 0403:EF51"}
                                    << QStringList{"serial://com7?baud=115200"} << QList<int>{21};
    QTest::newRow("bus master converter")
        << QStringList{"COM7 0403:EF50"} << QStringList{"serial://com7?baud=38400"} << QList<int>{0};
    QTest::newRow("other vendor") << QStringList{"COM3 067B:EF50"} << QStringList{} << QList<int>{};
    QTest::newRow("other FTDI product") << QStringList{"COM4 0403:6001"} << QStringList{} << QList<int>{};
    QTest::newRow("no vendor identifier") << QStringList{"ttyS0 -"} << QStringList{} << QList<int>{};
    QTest::newRow("every match, in the system's order")
        << QStringList{"ttyUSB1 0403:EF51", "ttyS0 -", "ttyUSB0 0403:EF50"}
        << QStringList{"serial://ttyusb1?baud=115200", "serial://ttyusb0?baud=38400"} << QList<int>{21, 0};
}

void TstDiscovery::serialEnumeration()
{
    QFETCH(QStringList, ports);
    QFETCH(QStringList, urls);
    QFETCH(QList<int>, types);

    FakeD2xxScope usb;
    usb.driver().addDevice(); // a bus master on USB: not listed without its mask bit
    FakeSerialPortsScope serial(serialPorts(ports));
    LogCapture log;
    const QList<PortEntry> entries = MyDiFtdi::discoverPorts(PortSerial);

    QCOMPARE(urlsOf(entries), urls);
    QCOMPARE(typesOf(entries), types);
    QCOMPARE(log.lines(), portLines(urls));
    QVERIFY(usb.driver().calls.isEmpty());
}

// One probe run covers the answer rules: each target gets the 15 probe bytes, every answer that
// starts with "INFO:I AM" after trimming gives an entry (a long one is cut, not lost), the rest is
// ignored, and an answer arriving late in the 2.5 s is still taken. The peers answer from their
// own slots, so this also shows that the wait lets the event loop run.
void TstDiscovery::udpProbe()
{
    FakeD2xxScope usb;
    FakeSerialPortsScope noSerialPorts;
    ProbePeer module;
    module.replies = {
        QByteArray("  INFO:I AM NTX07 00C0FFEE\r\n"),
        QByteArray("HELLO INFO:I AM"),
        QByteArray("info:i am lower case"),
        QByteArray::fromHex("00") + "INFO:I AM behind a zero byte",
        QByteArray("INFO:I AM") + QByteArray(300, 'x'),
    };
    ProbePeer slowModule;
    slowModule.lateDelayMs = 2000;
    slowModule.lateReplies = {QByteArray("INFO:I AM late\0garbage", 22)};

    LogCapture log;
    QElapsedTimer wall;
    wall.start();
    const std::clock_t cpuBefore = std::clock();
    const QList<PortEntry> entries =
        MyDiFtdi::discoverPorts(PortUdp, {module.target(), slowModule.target()}, freeUdpPort());
    const double cpuMs = 1000.0 * double(std::clock() - cpuBefore) / CLOCKS_PER_SEC;

    QCOMPARE(module.received, QList<QByteArray>{probeBytes});
    QCOMPARE(slowModule.received, QList<QByteArray>{probeBytes});
    const QString moduleUrl = QStringLiteral("udp://127.0.0.1:%1").arg(module.port());
    const QString slowUrl = QStringLiteral("udp://127.0.0.1:%1").arg(slowModule.port());
    const QStringList urls{moduleUrl, moduleUrl, slowUrl};
    QCOMPARE(urlsOf(entries), urls);
    QCOMPARE(typesOf(entries), (QList<int>{44, 44, 44}));
    QCOMPARE(log.lines(), portLines(urls));
    QVERIFY(wall.elapsed() >= 2500);
    // The wait sleeps between looks (some 30 ms of CPU in all); spinning takes a core for 2.5 s,
    // or what a loaded machine leaves of it.
    QVERIFY2(cpuMs < 300, qPrintable(QStringLiteral("probe used %1 ms of CPU").arg(cpuMs)));
}

void TstDiscovery::allKindsInMaskOrder()
{
    FakeD2xxScope usb;
    FakeUsbDevice vtap;
    vtap.id = 0x0403EF51;
    usb.driver().addDevice(vtap);
    usb.driver().addDevice();
    FakeSerialPortsScope serial(serialPorts({QStringLiteral("COM9 0403:EF51")}));
    ProbePeer module;
    module.replies = {QByteArray("INFO:I AM NTX07")};

    const QList<PortEntry> entries = MyDiFtdi::discoverPorts(15, {module.target()}, freeUdpPort());

    QCOMPARE(urlsOf(entries), (QStringList{"usb://localhost?vid=1027&pid=61264", "serial://com9?baud=115200",
                                           QStringLiteral("udp://127.0.0.1:%1").arg(module.port()),
                                           "usb://localhost?vid=1027&pid=61265"}));
    QCOMPARE(typesOf(entries), (QList<int>{0, 21, 44, 21}));
}

QTEST_MAIN(TstDiscovery)
#include "tst_discovery.moc"
