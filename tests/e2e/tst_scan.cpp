#include "e2ebench.h"
#include "fakeserialportsscope.h"

#include <QElapsedTimer>

class tst_scan : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void listsTheModule_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QString>("scanRequest");
        QTest::newRow("pty") << QStringList{"--pty", "--scan-ms", "300"} << "<02>BD0231F0<03>";
        // This seed loses requests, reports and acks both ways: both sides must resend.
        QTest::newRow("udp, 30% loss each way")
            << QStringLiteral("--udp 127.0.0.1:0 --scan-ms 300 --drop-rx 30 --drop-tx 30 --seed 11")
                   .split(' ')
            << "<02>BD0131EF<03>";
    }

    void listsTheModule()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QString, scanRequest);
        SimProcess sim;
        const QString endpoint = sim.start(simOptions);
        QVERIFY(!endpoint.isEmpty());
        FakeSerialPortsScope ports({{QStringLiteral("SIMPTY0"), endpoint}}); // ptys are not listed
        const bool pty = simOptions.contains(QStringLiteral("--pty"));
        WindowBench toolbox;
        toolbox.open({QUrl(pty ? QStringLiteral("serial://simpty0?baud=38400") : "udp://" + endpoint)});
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.texts("comboScan"),
                                  QStringList{QStringLiteral("LUX42 s/n:1234567 v3")}, 20000);
        QCOMPARE(toolbox.status(), QStringLiteral("1 cards found."));
        QVERIFY(!sim.linesWith(QStringLiteral("PC->BUS COSCAN")).filter(scanRequest).isEmpty());
    }

    void windowOutlivesTheSimulator()
    {
        SimProcess sim;
        const QString endpoint = sim.start({"--udp", "127.0.0.1:0", "--scan-ms", "3000"});
        QVERIFY(!endpoint.isEmpty());
        WindowBench toolbox;
        toolbox.open({QUrl("udp://" + endpoint)});
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("Bus scanning started. Please wait..."),
                                  5000);
        sim.kill();
        QTest::qWait(1500); // the request's retries run against a closed port meanwhile
        QCOMPARE(toolbox.texts("comboScan"), QStringList());
        // Refresh reopens the endpoint: the logout and login waits are bounded.
        QElapsedTimer clock;
        clock.start();
        toolbox.click("butRefresh");
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(toolbox.status(), "Not connected to udp://" + endpoint);
        QVERIFY(!toolbox.widget<QPushButton>("butScan")->isEnabled());
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
