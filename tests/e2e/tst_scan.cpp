#include "fakeserialportsscope.h"
#include "simprocess.h"
#include "toolboxfixture.h"

#include <QElapsedTimer>
#include <QTest>

class tst_scan : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void listsTheModule_data();
    void listsTheModule();
    void windowOutlivesTheSimulator();
};

void tst_scan::listsTheModule_data()
{
    QTest::addColumn<QStringList>("simOptions");
    QTest::addColumn<QString>("scanRequest");
    const QStringList udp{"--udp", "127.0.0.1:0"};
    QTest::newRow("udp") << udp + QStringList{"--scan-ms", "300"} << "<02>BD0131EF<03>";
    QTest::newRow("pty") << QStringList{"--pty", "--scan-ms", "300"} << "<02>BD0231F0<03>";
    // This seed loses the scan request twice, a report twice and some of the PC's acks: both sides
    // must resend. (Some seeds lose all five requests, and the scan then rightly fails.)
    QTest::newRow("udp, 30% loss each way")
        << udp + QStringList{"--scan-ms", "300", "--drop-rx", "30", "--drop-tx", "30", "--seed", "11"}
        << "<02>BD0131EF<03>";
}

void tst_scan::listsTheModule()
{
    QFETCH(QStringList, simOptions);
    QFETCH(QString, scanRequest);
    SimProcess sim;
    const QString endpoint = sim.start(simOptions);
    QVERIFY(!endpoint.isEmpty());
    // QSerialPortInfo does not list ptys: the simulator's pty is offered under a port name.
    FakeSerialPortsScope ports({{QStringLiteral("SIMPTY0"), endpoint}});
    const bool pty = simOptions.contains(QStringLiteral("--pty"));
    ToolboxFixture toolbox(QUrl(pty ? QStringLiteral("serial://simpty0?baud=38400") : "udp://" + endpoint));
    QVERIFY2(toolbox.status().startsWith(QStringLiteral("Connected to ")), qPrintable(toolbox.status()));

    toolbox.click("butScan");
    QTRY_COMPARE_WITH_TIMEOUT(toolbox.modules()->count(), 1, 20000);
    QCOMPARE(toolbox.modules()->itemText(0), QStringLiteral("LUX42 s/n:1234567 v3"));
    QCOMPARE(toolbox.modules()->itemData(0).toUInt(), 0x3F12D687u);
    QCOMPARE(toolbox.status(), QStringLiteral("1 cards found."));
    QVERIFY(!sim.linesWith(QStringLiteral("PC->BUS COSCAN")).filter(scanRequest).isEmpty());
}

void tst_scan::windowOutlivesTheSimulator()
{
    SimProcess sim;
    const QString endpoint = sim.start({"--udp", "127.0.0.1:0", "--scan-ms", "3000"});
    QVERIFY(!endpoint.isEmpty());
    ToolboxFixture toolbox(QUrl("udp://" + endpoint));
    toolbox.click("butScan");
    QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("Bus scanning started. Please wait..."), 5000);
    sim.kill();

    // The module table never comes; the request's retries run against a closed port meanwhile.
    QTest::qWait(1500);
    QCOMPARE(toolbox.modules()->count(), 0);
    toolbox.click("butScan");
    QVERIFY2(toolbox.status() == QStringLiteral("KVMX will start bus scanning. Please wait...") ||
                 toolbox.status() == QStringLiteral("Error while sending frame. Please retry..."),
             qPrintable(toolbox.status()));

    // Refresh reopens the endpoint: the logout and login waits are bounded and events keep flowing.
    QElapsedTimer clock;
    clock.start();
    toolbox.click("butRefresh");
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(toolbox.status(), "Not connected to udp://" + endpoint);
    QVERIFY(!toolbox.button("butScan")->isEnabled());
}

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
