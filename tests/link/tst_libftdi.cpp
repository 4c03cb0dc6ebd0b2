// The libftdi backend for real: the link and discovery over chips emulated below libusb (fakeusbbus.h).
#include "d2xxdriver.h"
#include "fakeusbbus.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

namespace {
const QByteArray frame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX
const QByteArray longFrame = '\x02' + QByteArray(198, 'A') + '\x03';  // four packets
const QString kvmxUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");
using Script = QList<QPair<int, int>>;
using Pieces = QByteArrayList;
} // namespace

class TstLibFtdi : public QObject
{
    Q_OBJECT

private slots:
    void init() { bus = std::make_unique<FakeUsbBus>(), link = std::make_unique<MyDiFtdi>(); }
    void cleanup()
    {
        link.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        installD2xxDriver(nullptr); // the driver goes with what it holds; the next call makes a fresh one
        QCOMPARE(std::exchange(bus, nullptr)->leftovers(), 0);
    }

    // Bus masters, then vtap devices, each in bus order; the foreign chip is left out.
    void enumeration()
    {
        bus->attach(0xEF51, "VTAP"), bus->attach(0x6001, "FT232R USB UART"), bus->attach(0xEF50);
        bus->attach(0xEF50).busy = true; // listed all the same
        QCOMPARE(MyDiFtdi::discoverPorts(PortUsbKvmx | PortUsbVtap).size(), 2);
        quint32 count = 0;
        QCOMPARE(FT_CreateDeviceInfoList(&count), FT_OK);
        std::vector<FT_DEVICE_LIST_INFO_NODE> nodes(count);
        QCOMPARE(FT_GetDeviceInfoList(nodes.data(), &count), FT_OK);
        QStringList got;
        for (const FT_DEVICE_LIST_INFO_NODE &node : nodes)
            got << QString::asprintf("%x %x %s %s", node.ID, node.LocId, node.Description, node.SerialNumber);
        QCOMPARE(got, (QStringList{"403ef50 104 KVMX TV4", "403ef50 105 KVMX TV5", "403ef51 102 VTAP TV2"}));
    }

    // libftdi's reset, 9600 baud and our 2 ms latency at open, then the baud rate and 8-N-1, on the first
    // chip of the id that opens. A refused open gives -2, a refused configuration -1; either way the chip
    // is given back and opens once the cause is gone.
    void open_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("divisor");
        QTest::addColumn<QString>("refused"); // a request as recorded
        QTest::addColumn<int>("result");
        QTest::newRow("bus master, 38400") << 61264 << "3 c04e 0"
                                           << "" << 1;
        QTest::newRow("vtap, 115200") << 61265 << "3 001a 0"
                                      << "" << 1;
        QTest::newRow("reset refused") << 61264 << "3 c04e 0"
                                       << "0 0000 1" << -2;
        QTest::newRow("38400 baud refused") << 61264 << "3 c04e 0"
                                            << "3 c04e 0" << -1;
        QTest::newRow("8-N-1 refused") << 61264 << "3 c04e 0"
                                       << "4 0008 1" << -1;
    }

    void open()
    {
        QFETCH(int, pid);
        QFETCH(QString, divisor);
        QFETCH(QString, refused);
        QFETCH(int, result);
        bus->attach(0xEF50).busy = true, bus->attach(0xEF50), bus->attach(0xEF51, "VTAP");
        const size_t opened = pid == 61264 ? 1 : 2; // a bus master held by another program comes first
        FakeUsbBus::Chip &chip = bus->chips[opened];
        chip.refuse = refused;
        const QString url = QStringLiteral("usb://localhost?vid=1027&pid=%1").arg(pid);
        QCOMPARE(link->open(url), result);
        QCOMPARE(link->write(frame), result == 1 ? frame.size() : 0);
        QStringList requests{"0 0000 1", "3 4138 0", "9 0002 1", divisor, "4 0008 1"};
        const QStringList probe{"5 0000 1"}; // the modem status: is the chip still there?
        if (!refused.isEmpty()) // nothing after the refused request but, for a configuration, the probe
            requests =
                requests.mid(0, requests.indexOf(refused) + 1) + (result == -1 ? probe : QStringList());
        for (size_t i = 0; i < 3; ++i) {
            QCOMPARE(bus->chips[i].requests, i == opened ? requests : QStringList());
            QCOMPARE(bus->chips[i].written, i == opened && result == 1 ? frame : QByteArray());
        }
        QCOMPARE(chip.handles + chip.claims, result == 1 ? 2 : 0);
        chip.refuse.clear();
        QCOMPARE(link->open(url), 1);
    }

    // Frames arrive whole and once however packets and transfers cut them; an unplug closes the link.
    void polls_data()
    {
        QTest::addColumn<Pieces>("pieces");
        QTest::addColumn<int>("inResult");
        QTest::addColumn<Pieces>("items");
        const QByteArray huge = '\x02' + QByteArray(4998, 'A') + '\x03';
        QTest::newRow("one packet") << Pieces{frame} << 0 << Pieces{frame};
        QTest::newRow("two transfers") << Pieces{frame.left(5), frame.mid(5)} << 0 << Pieces{frame};
        QTest::newRow("four packets") << Pieces{longFrame} << 0 << Pieces{longFrame};
        QTest::newRow("two full transfers") << Pieces{huge} << 0 << Pieces{huge};
        // libusb hands over what arrived before the time-out; libftdi's own read would drop it.
        QTest::newRow("timed out") << Pieces{longFrame} << int(LIBUSB_ERROR_TIMEOUT) << Pieces{longFrame};
        QTest::newRow("stalled") << Pieces{frame} << int(LIBUSB_ERROR_PIPE) << Pieces{frame};
        QTest::newRow("unplugged") << Pieces{frame} << int(LIBUSB_ERROR_NO_DEVICE) << Pieces();
    }

    void polls()
    {
        QFETCH(Pieces, pieces);
        QFETCH(int, inResult);
        QFETCH(Pieces, items);
        FakeUsbBus::Chip &chip = bus->attach(0xEF50);
        chip.rx = pieces, chip.inResult = inResult;
        LogCapture log;
        QCOMPARE(link->open(kvmxUrl), 1);
        const bool stalled = inResult == LIBUSB_ERROR_PIPE, unplugged = inResult == LIBUSB_ERROR_NO_DEVICE;
        QTRY_COMPARE(log.lines().contains("Error GetQueueStatus"), stalled || unplugged);
        QTRY_COMPARE(link->itemCount(), items.size());
        QTest::qWait(120);
        Pieces taken;
        while (link->itemCount() > 0)
            taken << link->takeItem().data;
        QCOMPARE(taken, items);
        QCOMPARE(link->bufferedByteCount(), 0);
        QCOMPARE(log.lines().contains("USB maybe unplugged, close connection"), unplugged);
        QCOMPARE(chip.requests.filter("clear halt"), stalled ? QStringList{"clear halt 81"} : QStringList());
        QCOMPARE(chip.handles + chip.claims, unplugged ? 0 : 2);
    }

    // A refused or short write is sent once more; an unplugged chip closes the link.
    void writes_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("result");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("stalled once") << Script{{LIBUSB_ERROR_PIPE, 0}} << frame.size() << frame;
        QTest::newRow("short twice") << Script{{LIBUSB_ERROR_TIMEOUT, 4}, {LIBUSB_ERROR_TIMEOUT, 4}} << 0
                                     << frame.left(4) + frame.left(4);
        QTest::newRow("unplugged") << Script{{LIBUSB_ERROR_NO_DEVICE, 4}} << -1 << frame.left(4);
    }

    void writes()
    {
        QFETCH(Script, script);
        FakeUsbBus::Chip &chip = bus->attach(0xEF50);
        chip.outScript = script;
        QCOMPARE(link->open(kvmxUrl), 1);
        QTEST(link->write(frame), "result");
        QTEST(chip.written, "written");
        QCOMPARE(chip.handles, int(link->isConnected()));
    }

    // Bytes the queue status read ahead come with the next read, once, even from an unplugged chip.
    void readAhead()
    {
        bus->attach(0xEF50).rx = {frame.left(4), frame.mid(4)};
        quint32 count = 0;
        FT_HANDLE handle = nullptr;
        QCOMPARE(FT_CreateDeviceInfoList(&count), FT_OK);
        QCOMPARE(FT_Open(0, &handle), FT_OK);
        for (const quint32 waiting : {4u, 10u})
            QVERIFY(FT_GetQueueStatus(handle, &count) == FT_OK && count == waiting);
        bus->chips[0].gone = true;
        char buffer[16] = {};
        QCOMPARE(FT_Read(handle, buffer, sizeof buffer, &count), FT_OK);
        QCOMPARE(QByteArray(buffer, int(count)), frame);
        QCOMPARE(FT_Close(handle), FT_OK);
    }

private:
    std::unique_ptr<FakeUsbBus> bus;
    std::unique_ptr<MyDiFtdi> link;
};

QTEST_GUILESS_MAIN(TstLibFtdi)
#include "tst_libftdi.moc"
