#include "e2ebench.h"
#include "fakeserialportsscope.h"
#include "mytreatcompc.h"

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
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("status");
        const QStringList dali{QStringLiteral("LUX42 s/n:1234567 v3")};
        QTest::newRow("pty") << QStringList{"--pty", "--scan-ms", "300"} << "<02>BD0231F0<03>" << dali
                             << "1 cards found.";
        // This seed loses requests, reports and acks both ways: both sides must resend.
        QTest::newRow("udp, 30% loss each way")
            << QStringLiteral("--udp 127.0.0.1:0 --scan-ms 300 --drop-rx 30 --drop-tx 30 --seed 11").split(' ')
            << "<02>BD0131EF<03>" << dali << "1 cards found.";
        // The module passes nothing on: the request goes out five times and is given up.
        QTest::newRow("nobody answers") << QStringList{"--udp", "127.0.0.1:0", "--drop-rx", "100"}
                                        << "<02>BD0131EF<03>" << QStringList{}
                                        << "No answer from the bus master. Check the connection, then Scan again.";
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
        QTRY_VERIFY_WITH_TIMEOUT(toolbox.widget<QPushButton>("butScan")->isEnabled(), 20000);
        QTEST(toolbox.texts("comboScan"), "modules");
        QTEST(toolbox.status(), "status");
        QVERIFY(!sim.linesWith(QStringLiteral("PC->BUS COSCAN")).filter(scanRequest).isEmpty());
    }

    // The module or the line goes away: the window says so at once over TCP and serial, and at the
    // next request over UDP, which only learns it from the refused datagram.
    void linkLost_data()
    {
        QTest::addColumn<QString>("front");
        QTest::addColumn<bool>("duringScan");
        QTest::newRow("tcp, during a scan") << "--tcp" << true;
        QTest::newRow("pty, during a scan") << "--pty" << true;
        QTest::newRow("udp, then Scan") << "--udp" << false;
    }

    void linkLost()
    {
        QFETCH(QString, front);
        QFETCH(bool, duringScan);
        SimProcess sim;
        const QStringList address{"127.0.0.1:0"};
        const QString endpoint = sim.start(QStringList{front} + (front == "--pty" ? QStringList{} : address) +
                                           QStringList{"--scan-ms", "3000"});
        QVERIFY(!endpoint.isEmpty());
        FakeSerialPortsScope ports({{QStringLiteral("SIMPTY0"), endpoint}});
        const QString url = front == "--pty" ? QStringLiteral("serial://simpty0?baud=38400")
                                             : front.mid(2) + "://" + endpoint;
        WindowBench toolbox;
        toolbox.open({QUrl(url)});
        QCOMPARE(toolbox.status(), "Connected to " + url);
        if (duringScan) {
            toolbox.click("butScan");
            QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("Bus scanning started. Please wait..."), 5000);
        }
        sim.kill();
        if (!duringScan) {
            QTest::qWait(200);
            QCOMPARE(toolbox.status(), "Connected to " + url);
            toolbox.click("butScan");
        }
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), "Not connected to " + url +
                                      ": the link was lost before the end of the scan. Check the connection, "
                                      "then Scan again.",
                                  3000);
        QVERIFY(!toolbox.window->manager()->isConnected());
        QVERIFY(!toolbox.widget<QPushButton>("butScan")->isEnabled());
        // Refresh tries the endpoint again: the logout and login waits are bounded.
        QElapsedTimer clock;
        clock.start();
        toolbox.click("butRefresh");
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        QCOMPARE(toolbox.status(), "Not connected to " + url);
    }

    // Refresh leaves a working module session as it is: no logout, no second login.
    void refreshKeepsTheSession()
    {
        SimProcess sim;
        const QString endpoint = sim.start({"--udp", "127.0.0.1:0"});
        QVERIFY(!endpoint.isEmpty());
        WindowBench toolbox;
        toolbox.open({QUrl("udp://" + endpoint)});
        toolbox.click("butRefresh");
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), QStringLiteral("1 cards found."), 10000);
        QCOMPARE(sim.linesWith(QStringLiteral("LOGIN")).size(), 1);
        QCOMPARE(sim.linesWith(QStringLiteral("LOGOUT")).size(), 0);
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
