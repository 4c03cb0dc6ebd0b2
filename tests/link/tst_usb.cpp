// The link on USB against the fake D2XX driver: dispatch, device choice, polling, writes. Unplugging:
// tst_faults.
#include "faked2xxdriver.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

namespace {
const QByteArray frame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX
using Script = QList<QPair<FT_STATUS, int>>;
using Signals = QList<QVariantList>;
} // namespace

class TstUsb : public QObject
{
    Q_OBJECT

private slots:
    void init() { fake = std::make_unique<FakeD2xxScope>(), link = std::make_unique<MyDiFtdi>(); }
    void cleanup()
    {
        link.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        fake.reset();
    }

    void configurationByProductId_data()
    {
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("baud");
        QTest::addColumn<int>("kind");
        QTest::newRow("vtap") << 61265 << "115200" << int(MyDiFtdi::TransportUsbVtap);
        QTest::newRow("kvmx") << 61264 << "38400" << int(MyDiFtdi::TransportUsbKvmx);
        QTest::newRow("other") << 24577 << "38400" << int(MyDiFtdi::TransportUsbKvmx);
    }

    // Another program holds the first device of that id: the second one is used.
    void configurationByProductId()
    {
        QFETCH(int, pid);
        QFETCH(QString, baud);
        FakeUsbDevice device;
        device.id = 0x04030000u | quint32(pid);
        FakeUsbDevice held = device;
        held.refuseOpen = true;
        driver().addDevice(held);
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        QCOMPARE(open(device, pid), 1);
        QCOMPARE(driver().calls.filter("Set"),
                 (QStringList{"SetBaudRate 1 " + baud, "SetDataCharacteristics 1 8 0 0"}));
        QTEST(int(link->transportKind()), "kind");
        QCOMPARE(connectState, (Signals{{true}}));
        QCOMPARE(link->write(frame), frame.size());
        QCOMPARE(driver().device(1).written, frame);
    }

    // A refused configuration leaves nothing open, so that the same open succeeds once the cause is gone.
    void refusedConfigurationThenReopen()
    {
        FakeUsbDevice device;
        device.baudStatus = FT_OTHER_ERROR;
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        QCOMPARE(link->open(url(61264)), -1); // no device at all
        QCOMPARE(open(device, 61265), -2);    // none of that product id
        QCOMPARE(link->open(url(61264)), -1);
        QCOMPARE(driver().openHandleCount(), 0);
        QCOMPARE(link->transportKind(), MyDiFtdi::TransportNone);
        QVERIFY(connectState.isEmpty());
        driver().device(0).baudStatus = FT_OK;
        QCOMPARE(link->open(url(61264)), 1);
    }

    void pollReadsAtMost4096PerTick()
    {
        FakeUsbDevice device;
        device.rxWaiting = '\x02' + QByteArray(4998, 'A') + '\x03';
        QCOMPARE(open(device), 1);
        QTRY_COMPARE_WITH_TIMEOUT(link->itemCount(), 1, 2000);
        QCOMPARE(driver().calls.filter("Read"), (QStringList{"Read 0 4096", "Read 0 904"}));
        // Polled every 50 ms: five ticks, one of them possibly late.
        QTRY_VERIFY(driver().pollTimes.size() > 5);
        const qint64 fiveTicks = driver().pollTimes[5] - driver().pollTimes[0];
        QVERIFY2(fiveTicks >= 5 * 47 && fiveTicks < 5 * 50 + 150, qPrintable(QString::number(fiveTicks)));
        QCOMPARE(link->takeItem().data, device.rxWaiting);
    }

    void writeAttempts_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("lines");
        const QString incomplete = "Incomplete send. Maybe loop until nbrbytes is complete";
        const QStringList retried{"Failed to send frame 18", "Retry."};
        const QStringList twice = retried + QStringList{"Failed to send frame 18", "Abort."};
        QTest::newRow("refused twice") << Script{{FT_OTHER_ERROR, 0}, {FT_OTHER_ERROR, 0}} << 0
                                       << QStringList(twice + QStringList{incomplete});
        QTest::newRow("second attempt") << Script{{FT_OTHER_ERROR, 0}} << frame.size() << retried;
        // A refused last attempt never counts as sent, even if the driver claims every byte.
        QTest::newRow("refused, all claimed")
            << Script{{FT_OTHER_ERROR, -1}, {FT_OTHER_ERROR, -1}} << -1 << twice;
    }

    void writeAttempts()
    {
        FakeUsbDevice device;
        QFETCH(Script, script);
        device.writeScript = script;
        QCOMPARE(open(device), 1);
        LogCapture log;
        QTEST(link->write(frame), "result");
        QTEST(log.lines(), "lines");
        QVERIFY(link->isConnected());
    }

    void dispatchAndClose()
    {
        QCOMPARE(link->write(frame), 0);
        // A usb URL without query items is refused before the driver is asked anything.
        QCOMPARE(link->open("usb://localhost"), -1);
        QCOMPARE(link->open("usb://localhost?"), -1);
        QCOMPARE(driver().calls, QStringList());
        QCOMPARE(open(), 1);
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        QTest::ignoreMessage(QtDebugMsg, "unhandled scheme : ftp");
        QCOMPARE(link->open("ftp://x"), -1); // closes what was open
        QCOMPARE(link->transportKind(), MyDiFtdi::TransportNone);
        link->close();
        QCOMPARE(connectState, (Signals{{false}}));
        QCOMPARE(link->write(frame), 0);
        QCOMPARE(driver().calls.filter(QRegularExpression("Close|Write")), QStringList{"Close 0"});
    }

private:
    FakeD2xxDriver &driver() { return fake->driver(); }
    int open(const FakeUsbDevice &device = {}, int pid = 61264)
    {
        driver().addDevice(device);
        return link->open(url(pid));
    }
    static QString url(int pid) { return QStringLiteral("usb://localhost?vid=1027&pid=%1").arg(pid); }

    std::unique_ptr<FakeD2xxScope> fake;
    std::unique_ptr<MyDiFtdi> link;
};

QTEST_GUILESS_MAIN(TstUsb)
#include "tst_usb.moc"
