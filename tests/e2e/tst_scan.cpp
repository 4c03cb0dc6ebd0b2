#include "e2ebench.h"
#include "fakeserialportsscope.h"
#include "mytreatcompc.h"

#include <QElapsedTimer>
#include <QSignalSpy>

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
            << QStringLiteral("--udp 127.0.0.1:0 --scan-ms 300 --drop-rx 30 --drop-tx 30 --seed 11")
                   .split(' ')
            << "<02>BD0131EF<03>" << dali << "1 cards found.";
        // The module passes nothing on: the request goes out five times and is given up.
        QTest::newRow("nobody answers")
            << QStringList{"--udp", "127.0.0.1:0", "--drop-rx", "100"} << "<02>BD0131EF<03>" << QStringList{}
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
            QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(),
                                      QStringLiteral("Bus scanning started. Please wait..."), 5000);
        }
        sim.kill();
        if (!duringScan) {
            QTest::qWait(200);
            QCOMPARE(toolbox.status(), "Connected to " + url);
            toolbox.click("butScan");
        }
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(),
                                  "Not connected to " + url +
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

    void reachesTheModule_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("transmissions");
        QTest::addColumn<QString>("status");
        QTest::newRow("acknowledged")
            << QStringList{} << 1
            << "LUX42 s/n:1234567 v3 accepted the erase of its DALI short addresses and groups.";
        // The first send and 4 retries, 1 s apart, then the request is dropped.
        QTest::newRow("no acknowledgement") << QStringList{"--no-ack"} << 5
                                            << "LUX42 s/n:1234567 v3 did not acknowledge the erase after 5 "
                                               "attempts. Nothing is known to be erased.";
    }

    void reachesTheModule()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, transmissions);
        SimProcess sim;
        const QString endpoint =
            sim.start(QStringList{"--udp", "127.0.0.1:0", "--scan-ms", "0"} + simOptions);
        QVERIFY(!endpoint.isEmpty());
        WindowBench toolbox;
        toolbox.open({QUrl("udp://" + endpoint)});
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.texts("comboScan").size(), 1, 10000);
        QTRY_COMPARE(sim.linesWith(QStringLiteral("  scan finished")).size(), 1);

        QSignalSpy dropped(toolbox.window->manager(), &MyTreatComPc::sendTimeout);
        toolbox.answer(QMessageBox::Yes);
        toolbox.click("butEraseShort");
        if (transmissions == 1) {
            QTRY_COMPARE(sim.linesWith(QStringLiteral("BUS->PC COACKN        3:3F12D687 -> 1")).size(), 1);
            QTest::qWait(1500); // a resend could only show after the retry period
        } else {
            QTRY_COMPARE_WITH_TIMEOUT(dropped.count(), 1, 8000);
        }
        const QStringList sent = sim.linesWith(QStringLiteral("PC->BUS COSETDATA"));
        QCOMPARE(sent.size(), transmissions);
        for (int i = 0; i < sent.size(); ++i) {
            QVERIFY2(sent.at(i).endsWith("PC->BUS COSETDATA     1 -> 3:3F12D687  t1 ack  data 3F F1  "
                                         "<02>BD0D3F12D6871F3FF1C7<03>"),
                     qPrintable(sent.at(i)));
            const double gap =
                i == 0 ? 1.0 : SimProcess::stampOf(sent.at(i)) - SimProcess::stampOf(sent.at(i - 1));
            QVERIFY2(gap > 0.8 && gap < 1.6, qPrintable(QString::number(gap)));
        }
        QCOMPARE(dropped.count(), transmissions == 1 ? 0 : 1);
        QTEST(toolbox.status(), "status");
        QVERIFY(toolbox.widget<QPushButton>("butEraseShort")->isEnabled());
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
