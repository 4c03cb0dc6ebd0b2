// Discovery over the fake USB driver, a fixed serial-port list and loopback probe peers.
#include "faked2xxdriver.h"
#include "fakeethmodule.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>
#include <ctime>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

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

// "NAME VVVV:PPPP" for a port with vendor and product identifiers, "NAME" for one without.
QList<SerialPortDescription> serialPorts(const QStringList &descriptions)
{
    QList<SerialPortDescription> ports;
    for (const QString &text : descriptions) {
        const QString name = text.section(' ', 0, 0);
        const QStringList ids = text.section(' ', 1).split(':');
        ports << SerialPortDescription{name, "/dev/" + name, ids.size() == 2,
                                       quint16(ids.first().toUInt(nullptr, 16)),
                                       quint16(ids.last().toUInt(nullptr, 16))};
    }
    return ports;
}

} // namespace

// The process's CPU time; the C library's clock() counts wall time on Windows.
static double processCpuMs()
{
#ifdef Q_OS_WIN
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    const auto ms = [](const FILETIME &t) {
        return double((quint64(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
    };
    return ms(kernel) + ms(user);
#else
    return 1000.0 * double(std::clock()) / CLOCKS_PER_SEC;
#endif
}
class TstDiscovery : public QObject
{
    Q_OBJECT

private slots:
    void enumeration_data()
    {
        QTest::addColumn<QList<quint32>>("usb"); // device ids
        QTest::addColumn<QStringList>("serial");
        QTest::addColumn<int>("mask");
        QTest::addColumn<QString>("warning"); // names the failing driver call
        QTest::addColumn<QStringList>("entries");
        // One entry for two bus masters; the vendor id is not compared.
        QTest::newRow("two bus masters")
            << QList<quint32>{0x1234EF50, 0x5678EF50} << QStringList() << 1 << QString() << QStringList{kvmx};
        QTest::newRow("other chips") << QList<quint32>{0x0403EF51, 0x04036001} << QStringList() << 1
                                     << QString() << QStringList();
        QTest::newRow("master first") << QList<quint32>{0x0403EF51, 0x0403EF50} << QStringList() << 9
                                      << QString() << QStringList{kvmx, vtap};
        QTest::newRow("mask 0") << QList<quint32>{0x0403EF50} << QStringList{"COM7 0403:EF50"} << 0
                                << QString() << QStringList();
        // The URL parser folds the port name to lower case; the serial transport matches it without case.
        QTest::newRow("serial, system's order")
            << QList<quint32>()
            << QStringList{"ttyUSB1 0403:EF51", "ttyS0", "COM3 067B:EF50", "COM4 0403:6001",
                           "ttyUSB0 0403:EF50"}
            << 2 << QString()
            << QStringList{"serial://ttyusb1?baud=115200 21", "serial://ttyusb0?baud=38400 0"};
        // A driver failure costs that enumeration its entry and one warning, not the serial ports.
        for (const char *call : {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList", "FT_GetDeviceInfoDetail"})
            QTest::newRow(call) << QList<quint32>{0x0403EF50} << QStringList{"ttyUSB0 0403:EF50"} << 3 << call
                                << QStringList{"serial://ttyusb0?baud=38400 0"};
    }

    void enumeration()
    {
        QFETCH(QList<quint32>, usb);
        QFETCH(QStringList, serial);
        QFETCH(QString, warning);
        QFETCH(QStringList, entries);
        QFETCH(int, mask);
        FakeD2xxScope fake;
        for (quint32 id : usb)
            fake.driver().device(fake.driver().addDevice()).id = id;
        fake.driver().refuse = warning.mid(3); // the call without its "FT_"
        FakeSerialPortsScope ports(serialPorts(serial));
        LogCapture log;
        QCOMPARE(described(MyDiFtdi::discoverPorts(mask)), entries);
        // The warning and one line per entry, as discovery's description words them, each line streamed.
        QStringList lines;
        if (!warning.isEmpty())
            lines << LogCapture::streamed({warning + " failed : ", "18"}); // the fake driver's refusal
        for (const QString &entry : entries)
            lines << LogCapture::streamed({"Port : ", entry.section(' ', 0, 0)});
        QCOMPARE(log.lines(), lines);
        QCOMPARE(fake.driver().openHandleCount(), 0);
    }

    // One probe run: all kinds in mask order; each target gets the 15 probe bytes; every answer starting
    // with "INFO:I AM" after trimming gives an entry (a long one is cut, not lost), also a late one.
    void allKindsAndProbe()
    {
        FakeD2xxScope fake;
        fake.driver().device(fake.driver().addDevice()).id = 0x0403EF51;
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
        const auto target = [](const FakeEthModule &m) {
            return ProbeTarget{QHostAddress::LocalHost, quint16(QUrl(m.url()).port())};
        };
        QElapsedTimer wall;
        wall.start();
        const double cpuBefore = processCpuMs();
        const QList<PortEntry> entries = MyDiFtdi::discoverPorts(15, {target(module), target(slowModule)});
        const double cpuMs = processCpuMs() - cpuBefore;
        const QByteArray probe = QByteArray::fromHex("444953434f56455220514e54583037"); // DISCOVER QNTX07
        QCOMPARE(module.messages + slowModule.messages, (QByteArrayList{probe, probe}));
        QCOMPARE(module.peerPort(), 17481); // the answers come back to the module port
        const QString udp = module.url() + " 44";
        QCOMPARE(described(entries), (QStringList{kvmx, "serial://com9?baud=115200 21", udp, udp,
                                                  slowModule.url() + " 44", vtap}));
        QVERIFY(wall.elapsed() >= 2500);
        QVERIFY2(cpuMs < 300,
                 qPrintable(QStringLiteral("the wait spun: %1 ms of CPU").arg(cpuMs))); // not spinning
    }
};

QTEST_MAIN(TstDiscovery)
#include "tst_discovery.moc"
