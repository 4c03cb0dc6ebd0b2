// The link on USB over the fake D2XX driver, for what the libftdi backend (tst_libftdi) never does: other
// product ids, refusals and unplugging at any call, the driver's own statuses, the poll's timing.
#include "faked2xxdriver.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

namespace {
const QByteArray frame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX
using Script = QList<QPair<FT_STATUS, int>>;
using Signals = QList<QVariantList>;
QString url(int pid)
{
    return QStringLiteral("usb://localhost?vid=1027&pid=%1").arg(pid);
}
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

    // The first device of the id that opens is used, at its product's baud rate, 8-N-1. A refusal leaves
    // nothing open and announces nothing, so that the same open succeeds once the cause is gone.
    void open_data()
    {
        QTest::addColumn<QList<quint32>>("ids"); // of the devices attached
        QTest::addColumn<int>("pid");
        QTest::addColumn<QString>("refuse"); // a driver call
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("settings");
        QTest::newRow("another id") << QList<quint32>{0x04036001} << 24577 << "" << 1
                                    << QStringList{"SetBaudRate 0 38400", "SetDataCharacteristics 0 8 0 0"};
        QTest::newRow("no device") << QList<quint32>() << 61264 << "" << -1 << QStringList();
        QTest::newRow("none of that id") << QList<quint32>{0x0403EF51} << 61264 << "" << -2 << QStringList();
        QTest::newRow("baud rate refused") << QList<quint32>{0x0403EF50} << 61264 << "SetBaudRate" << -1
                                           << QStringList{"SetBaudRate 0 38400"};
    }

    void open()
    {
        QFETCH(QList<quint32>, ids);
        QFETCH(int, pid);
        QFETCH(int, result);
        for (const quint32 id : ids)
            driver().device(driver().addDevice()).id = id;
        QFETCH(QString, refuse);
        driver().refuse = refuse;
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        QCOMPARE(link->open(url(pid)), result);
        QTEST(driver().calls.filter("Set"), "settings");
        QCOMPARE(connectState, result == 1 ? Signals{{true}} : Signals());
        QCOMPARE(link->write(frame), result == 1 ? frame.size() : 0);
        driver().refuse.clear();
        QCOMPARE(link->open(url(pid)), ids.contains(0x04030000u | quint32(pid)) ? 1 : result);
    }

    void pollReadsAtMost4096PerTick()
    {
        FakeUsbDevice &device = driver().device(driver().addDevice());
        device.rxWaiting = '\x02' + QByteArray(4998, 'A') + '\x03';
        const QByteArray sent = device.rxWaiting;
        const qint64 opened = driver().now();
        QCOMPARE(link->open(url(61264)), 1);
        QTRY_COMPARE_WITH_TIMEOUT(link->itemCount(), 1, 2000);
        QCOMPARE(driver().calls.filter("Read"), (QStringList{"Read 0 4096", "Read 0 904"}));
        // Polled every 50 ms from the open on. A tick may come late (and the next ones catch up), or up to
        // 5 % early: the sixth tick is no sooner than six intervals after the open, and the five intervals
        // after the first tick take clearly less than ten.
        QTRY_VERIFY(driver().pollTimes.size() > 5);
        const qint64 sixTicks = driver().pollTimes[5] - opened;
        const qint64 fiveTicks = driver().pollTimes[5] - driver().pollTimes[0];
        QVERIFY2(sixTicks >= 6 * 47 && fiveTicks < 5 * 50 + 200,
                 qPrintable(QStringLiteral("%1 %2").arg(sixTicks).arg(fiveTicks)));
        QCOMPARE(link->takeItem().data, sent);
    }

    void writeAttempts_data()
    {
        QTest::addColumn<Script>("script");
        QTest::addColumn<int>("result");
        QTest::addColumn<QStringList>("lines");
        const QString incomplete = "Incomplete send. Maybe loop until nbrbytes is complete";
        const QStringList retried{"Failed to send frame  18", "Retry."};
        const QStringList twice = retried + QStringList{"Failed to send frame  18", "Abort."};
        QTest::newRow("refused twice") << Script{{FT_OTHER_ERROR, 0}, {FT_OTHER_ERROR, 0}} << 0
                                       << QStringList(twice + QStringList{incomplete});
        // A refused last attempt never counts as sent, even if the driver claims every byte.
        QTest::newRow("refused, all claimed")
            << Script{{FT_OTHER_ERROR, -1}, {FT_OTHER_ERROR, -1}} << -1 << twice;
    }

    void writeAttempts()
    {
        FakeUsbDevice &device = driver().device(driver().addDevice());
        QFETCH(Script, script);
        device.writeScript = script;
        QCOMPARE(link->open(url(61264)), 1);
        LogCapture log;
        QTEST(link->write(frame), "result");
        QTEST(log.lines(), "lines");
        QVERIFY(link->isConnected());
    }

    // Unplugged at or during a call: the link says so, lets the handle go and stops polling; plugged in
    // again, the device opens as before.
    void unplugs_data()
    {
        QTest::addColumn<QString>("during"); // the driver call
        QTest::addColumn<QStringList>("lines");
        const QString closing = "USB maybe unplugged, close connection";
        QTest::newRow("mid-write")
            << "Write"
            << QStringList{"Failed to send frame. KVMX is maybe disconnect. Update status and abort."};
        QTest::newRow("mid-poll") << "Read"
                                  << QStringList{"Error read data", "Error GetQueueStatus", closing};
    }

    void unplugs()
    {
        QFETCH(QString, during);
        FakeUsbDevice &device = driver().device(driver().addDevice());
        QCOMPARE(link->open(url(61264)), 1);
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        LogCapture log;
        device.rxWaiting = frame, device.unplugDuring = during;
        QCOMPARE(link->write(frame), during == "Write" ? -1 : frame.size());
        QTRY_COMPARE(connectState, Signals{{false}});
        QTEST(log.lines(), "lines");
        QCOMPARE(driver().openHandleCount(), 0);
        const int calls = driver().calls.size();
        QTest::qWait(150);
        QCOMPARE(driver().calls.size(), calls);
        device.unplugged = false;
        QCOMPARE(link->open(url(61264)), 1);
    }

    // A usb URL without query items is refused before the driver is asked anything.
    void dispatchAndClose()
    {
        QCOMPARE(link->write(frame), 0);
        QCOMPARE(link->open("usb://localhost"), -1);
        QCOMPARE(link->open("usb://localhost?"), -1);
        QCOMPARE(driver().calls, QStringList());
        driver().addDevice();
        QCOMPARE(link->open(url(61264)), 1);
        QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
        QTest::ignoreMessage(QtDebugMsg, "unhandled scheme :  ftp"); // the literal, then the stream's blank
        QCOMPARE(link->open("ftp://x"), -1); // closes what was open
        link->close();
        QCOMPARE(connectState, (Signals{{false}}));
        QCOMPARE(link->write(frame), 0);
        QCOMPARE(driver().calls.filter(QRegularExpression("Close|Write")), QStringList{"Close 0"});
    }

private:
    FakeD2xxDriver &driver() { return fake->driver(); }

    std::unique_ptr<FakeD2xxScope> fake;
    std::unique_ptr<MyDiFtdi> link;
};

QTEST_GUILESS_MAIN(TstUsb)
#include "tst_usb.moc"
