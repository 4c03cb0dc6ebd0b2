// USB transport against the fake D2XX driver: device choice, configuration, polling, writes and
// unplugging.

#include "faked2xxdriver.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

#define STX "\x02"
#define ETX "\x03"

namespace {

QString usbUrl(int pid = 61264)
{
    return QStringLiteral("usb://localhost?vid=1027&pid=%1").arg(pid);
}

const QByteArray frame = STX "BD0231F0" ETX;
const QString incomplete = "Incomplete send. Maybe loop until nbrbytes is complete";
using Script = QList<QPair<FT_STATUS, int>>;

} // namespace

class TstUsb : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void firstDeviceThatOpensIsUsed();
    void configurationByProductId_data();
    void configurationByProductId();
    void openFailure_data();
    void openFailure();
    void pollReadsAtMost4096PerTick();
    void unplugOnPoll();
    void unplugOnWrite();
    void writeAttempts_data();
    void writeAttempts();

private:
    FakeD2xxDriver &driver() { return fake->driver(); }
    int open(const FakeUsbDevice &device = {}, int pid = 61264)
    {
        driver().addDevice(device);
        return link->open(usbUrl(pid));
    }

    std::unique_ptr<FakeD2xxScope> fake;
    std::unique_ptr<MyDiFtdi> link;
};

void TstUsb::init()
{
    fake = std::make_unique<FakeD2xxScope>();
    link = std::make_unique<MyDiFtdi>();
}

void TstUsb::cleanup()
{
    link.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    fake.reset();
}

void TstUsb::firstDeviceThatOpensIsUsed()
{
    FakeUsbDevice held;
    held.refuseOpen = true;
    driver().addDevice(held);
    LogCapture log;
    QCOMPARE(open(), 1);
    QCOMPARE(log.only({"FOUND", "Dev : 0", "Dev : 1"}), (QStringList{"FOUND", "FOUND", "Dev : 1"}));
    QVERIFY(driver().device(1).open);
}

void TstUsb::configurationByProductId_data()
{
    QTest::addColumn<int>("pid");
    QTest::addColumn<quint32>("baud");
    QTest::addColumn<int>("kind");
    QTest::newRow("vtap") << 61265 << 115200u << int(MyDiFtdi::TransportUsbVtap);
    QTest::newRow("kvmx") << 61264 << 38400u << int(MyDiFtdi::TransportUsbKvmx);
    QTest::newRow("other") << 24577 << 38400u << int(MyDiFtdi::TransportUsbKvmx);
}

void TstUsb::configurationByProductId()
{
    QFETCH(int, pid);
    QFETCH(quint32, baud);
    QFETCH(int, kind);

    FakeUsbDevice device;
    device.id = 0x04030000u | quint32(pid);
    QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
    QCOMPARE(open(device, pid), 1);
    const FakeUsbDevice &opened = driver().device(0);
    QCOMPARE(opened.baudRate, baud);
    QCOMPARE((QList<int>{opened.wordLength, opened.stopBits, opened.parity}), (QList<int>{8, 0, 0}));
    QCOMPARE(int(link->transportKind()), kind);
    QCOMPARE(connectState, (QList<QVariantList>{{true}}));
    QCOMPARE(link->write(frame), frame.size());
    QCOMPARE(opened.written, frame);
}

void TstUsb::openFailure_data()
{
    QTest::addColumn<QString>("failure");
    QTest::addColumn<int>("result");
    QTest::newRow("no device") << "none" << -1;
    QTest::newRow("enumeration") << "createList" << -1;
    QTest::newRow("list") << "getList" << -1;
    QTest::newRow("no such id") << "otherId" << -2;
    QTest::newRow("held by another program") << "refuseOpen" << -2;
    QTest::newRow("baud rate refused") << "baud" << -1;
    QTest::newRow("data characteristics refused") << "data" << -1;
}

// Each failure leaves nothing open, so that the same open succeeds once the cause is gone.
void TstUsb::openFailure()
{
    QFETCH(QString, failure);
    QFETCH(int, result);

    FakeUsbDevice device;
    device.id = failure == "otherId" ? 0x0403EF51u : 0x0403EF50u;
    device.refuseOpen = failure == "refuseOpen";
    device.baudStatus = failure == "baud" ? FT_OTHER_ERROR : FT_OK;
    device.dataCharacteristicsStatus = failure == "data" ? FT_OTHER_ERROR : FT_OK;
    driver().createListStatus = failure == "createList" ? FT_OTHER_ERROR : FT_OK;
    driver().getListStatus = failure == "getList" ? FT_OTHER_ERROR : FT_OK;
    QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
    QCOMPARE(failure == "none" ? link->open(usbUrl()) : open(device), result);
    QCOMPARE(driver().openHandleCount(), 0);
    QCOMPARE(link->transportKind(), MyDiFtdi::TransportNone);
    QVERIFY(connectState.isEmpty());

    driver() = FakeD2xxDriver();
    QCOMPARE(open(), 1);
}

void TstUsb::pollReadsAtMost4096PerTick()
{
    FakeUsbDevice device;
    device.rxWaiting = STX + QByteArray(4998, 'A') + ETX;
    QCOMPARE(open(device), 1);
    QTRY_COMPARE_WITH_TIMEOUT(link->itemCount(), 1, 2000);
    QCOMPARE(driver().calls.filter("Read"), (QStringList{"Read 0 4096", "Read 0 904"}));
    QCOMPARE(link->takeItem().data, device.rxWaiting);
}

void TstUsb::unplugOnPoll()
{
    QCOMPARE(open(), 1);
    QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
    LogCapture log;
    driver().unplug(0);
    QTRY_COMPARE_WITH_TIMEOUT(connectState, (QList<QVariantList>{{false}}), 2000);
    QCOMPARE(log.lines(), (QStringList{"Error GetQueueStatus", "USB maybe unplugged, close connection"}));
    QCOMPARE(link->transportKind(), MyDiFtdi::TransportNone);
    QVERIFY(!driver().device(0).open);
    // The poll timer went with the device: no tick follows the close.
    const int calls = driver().calls.size();
    QTest::qWait(150);
    QCOMPARE(driver().calls.size(), calls);
}

void TstUsb::unplugOnWrite()
{
    QCOMPARE(open(), 1);
    QSignalSpy connectState(link.get(), &MyDiFtdi::connectStateChanged);
    LogCapture log;
    driver().unplug(0);
    QCOMPARE(link->write(frame), -1);
    QCOMPARE(log.lines(),
             QStringList{"Failed to send frame. KVMX is maybe disconnect. Update status and abort."});
    QCOMPARE(connectState, (QList<QVariantList>{{false}}));
    QCOMPARE(link->write(frame), 0);
}

void TstUsb::writeAttempts_data()
{
    QTest::addColumn<Script>("script");
    QTest::addColumn<int>("result");
    QTest::addColumn<QStringList>("lines");
    const QString failed = "Failed to send frame 18";
    const QStringList retried{failed, "Retry."};
    const QStringList twice = retried + QStringList{failed, "Abort."};

    QTest::newRow("refused twice") << Script{{FT_OTHER_ERROR, 0}, {FT_OTHER_ERROR, 0}} << 0
                                   << QStringList(twice + QStringList{incomplete});
    QTest::newRow("second attempt") << Script{{FT_OTHER_ERROR, 0}} << frame.size() << retried;
    // A refused last attempt never counts as sent, even if the driver claims every byte.
    QTest::newRow("refused, all claimed")
        << Script{{FT_OTHER_ERROR, -1}, {FT_OTHER_ERROR, -1}} << -1 << twice;
    QTest::newRow("short write") << Script{{FT_OK, 4}} << 4 << QStringList{incomplete};
}

void TstUsb::writeAttempts()
{
    QFETCH(Script, script);
    QFETCH(int, result);
    QFETCH(QStringList, lines);

    FakeUsbDevice device;
    device.writeScript = script;
    QCOMPARE(open(device), 1);
    LogCapture log;
    QCOMPARE(link->write(frame), result);
    QCOMPARE(log.lines(), lines);
    QVERIFY(link->isConnected());
}

QTEST_GUILESS_MAIN(TstUsb)
#include "tst_usb.moc"
