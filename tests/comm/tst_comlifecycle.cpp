// Construction, endpoint handling, destruction and the error texts of the manager.

#include "fakeethmodule.h"
#include "fakemaster.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "myframedec.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTcpServer>
#include <QtTest>

namespace {

// A loopback port on which nothing listens: the Ethernet open gives up after its wait.
quint16 unusedTcpPort()
{
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

// Counts every signal of a manager that reaches the outside.
struct Emissions
{
    int count = 0;

    void watch(MyTreatComPc *manager, QObject *context)
    {
        QObject::connect(manager, &MyTreatComPc::newFrameReceived, context, [this] { ++count; });
        QObject::connect(manager, &MyTreatComPc::allNewFrame, context, [this] { ++count; });
        QObject::connect(manager, &MyTreatComPc::sendTimeout, context, [this] { ++count; });
        QObject::connect(manager, &MyTreatComPc::linkConnectionChanged, context, [this] { ++count; });
    }
};

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestComLifecycle : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();

    void emptyUrl();
    void pcMode_data();
    void pcMode();
    void reconnect();
    void destructionIsSilent();
    void destructionIsSilentDuringSessionClose();
    void unpluggedMasterIsReported();
    void errorTexts_data();
    void errorTexts();
};

void TestComLifecycle::cleanup()
{
    flushDeferredDeletes();
}

void TestComLifecycle::emptyUrl()
{
    FakeMaster master;
    MyTreatComPc manager(QString{});

    QCOMPARE(manager.open(QString{}), -2);
    QVERIFY(!manager.isConnected());
    QCOMPARE(manager.urlString(), QString());
    QCOMPARE(manager.pcMode(), 2);
    QCOMPARE(master.driver().calls, QStringList());
}

void TestComLifecycle::pcMode_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("unknownScheme");

    QTest::newRow("usb") << masterUrl << 2 << false;
    QTest::newRow("serial") << QStringLiteral("serial://ttyUSB7?baud=38400") << 2 << false;
    QTest::newRow("tcp") << QStringLiteral("tcp://127.0.0.1:%1").arg(unusedTcpPort()) << 1 << false;
    QTest::newRow("ftp") << QStringLiteral("ftp://localhost/file") << 2 << true;
}

// The mode follows the URL's scheme whether or not the endpoint could be opened.
void TestComLifecycle::pcMode()
{
    QFETCH(QString, url);
    QFETCH(int, mode);
    QFETCH(bool, unknownScheme);

    FakeMaster master;
    FakeSerialPortsScope noSerialPorts;
    MyTreatComPc manager(url);
    LogCapture log;

    QCOMPARE(manager.urlString(), url);
    QCOMPARE(manager.pcMode(), mode);
    QCOMPARE(log.count(QStringLiteral("unknown scheme ??")), unknownScheme ? 1 : 0);
}

void TestComLifecycle::reconnect()
{
    TimedFakeD2xxScope noDevice;
    MyTreatComPc manager(masterUrl);
    QVERIFY(!manager.isConnected());
    {
        LogCapture log;
        QCOMPARE(manager.reconnect(), -1);
        QCOMPARE(log.count(QStringLiteral("reconnect ") + masterUrl + QStringLiteral(" failed")), 1);
    }

    noDevice.driver().addDevice();
    QCOMPARE(manager.reconnect(), 0);
    QVERIFY(manager.isConnected());

    // Connected already: the device is not opened a second time.
    const int opens = noDevice.driver().calls.filter(QStringLiteral("Open ")).size();
    QCOMPARE(manager.reconnect(), 0);
    QCOMPARE(noDevice.driver().calls.filter(QStringLiteral("Open ")).size(), opens);
}

void TestComLifecycle::destructionIsSilent()
{
    MasterBench bench;
    Emissions emissions;
    emissions.watch(bench.manager.get(), this);
    QCOMPARE(bench.manager->sendFrame(MyFrameDec(transport("BD0231F0"), false), awaitAck(2, 1)), 0);
    bench.master->send(transport("B90831F2"));

    bench.manager.reset();
    QTest::qWait(400);
    QCOMPARE(emissions.count, 0);
    QVERIFY(!bench.master->device().open);
    QCOMPARE(bench.master->written(), transport("BD0231F0"));
}

// Logging out waits 1500 ms with events processed: neither the module's last frame nor the retry
// timer of a pending request may reach the outside from inside the destructor.
void TestComLifecycle::destructionIsSilentDuringSessionClose()
{
    FakeEthModule module;
    auto manager = std::make_unique<MyTreatComPc>(module.url());
    QVERIFY(manager->isConnected());
    QCOMPARE(manager->pcMode(), 1);

    Emissions emissions;
    emissions.watch(manager.get(), this);
    QCOMPARE(manager->sendFrame(MyFrameDec(transport("BD0131EF"), false), awaitAck(2, 2)), 0);
    // Traffic already under way still comes in while the link logs out.
    QTimer::singleShot(300, &module, [&module] { module.send(transport("B90437F4")); });
    manager.reset();

    QCOMPARE(emissions.count, 0);
    QVERIFY(module.messages.contains("LOGOUT"));
}

void TestComLifecycle::unpluggedMasterIsReported()
{
    MasterBench bench;
    QSignalSpy changes(bench.manager.get(), &MyTreatComPc::linkConnectionChanged);

    bench.master->unplug();
    QTRY_COMPARE_WITH_TIMEOUT(changes.count(), 1, 1000);
    QCOMPARE(changes.at(0).at(0).toBool(), false);
    QVERIFY(!bench.manager->isConnected());
}

void TestComLifecycle::errorTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");

    QTest::newRow("0") << 0 << QStringLiteral("Succes");
    QTest::newRow("1, trailing blank") << 1 << QStringLiteral("Communication Failure, master not connected ");
    QTest::newRow("11") << 11 << QStringLiteral("Error Task Undefined");
    QTest::newRow("12") << 12 << QStringLiteral("Error Address out of range");
    QTest::newRow("14") << 14 << QStringLiteral("Writing error");
    QTest::newRow("15") << 15 << QStringLiteral("unknown MyTreatComPc::ComError15");
    QTest::newRow("-1") << -1 << QStringLiteral("unknown MyTreatComPc::ComError-1");
}

void TestComLifecycle::errorTexts()
{
    QFETCH(int, code);
    QFETCH(QString, text);

    MyTreatComPc manager(QString{});
    QCOMPARE(manager.errorString(MyTreatComPc::ComError(code)), text);
    QCOMPARE(manager.errorString(MyTreatComPc::ComError(code)), text); // the fallback is not stored
    QCOMPARE(manager.lastErrorString(), QStringLiteral("Succes"));
}

QTEST_GUILESS_MAIN(TestComLifecycle)
#include "tst_comlifecycle.moc"
