#include "e2ebench.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"

#include <QElapsedTimer>

class tst_scan : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    // How a scan from the window ends. The module or the line going away shows at once over TCP and
    // serial, and at the next request over UDP, which only learns it from the refused datagram.
    void scanOutcomes_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("kill");            // the simulator: 0 never, 1 during the scan, 2 before it
        QTest::addColumn<QString>("scanRequest"); // as the simulator logs it
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("status"); // URL stands for the endpoint
        QTest::addColumn<int>("sends");      // of the scan request; -1: not counted
        const QStringList dali{QStringLiteral("LUX42 s/n:1234567 v3")};
        const QString lost =
            QStringLiteral("Not connected to URL: the link was lost before the end of the scan. "
                           "Check the connection, then press Refresh.");
        const QString noAnswer =
            QStringLiteral("No answer from the bus master. Check the connection, then Scan again.");
        QTest::newRow("pty") << QStringList{"--pty", "--scan-ms", "300"} << 0 << "<02>BD0231F0<03>" << dali
                             << "1 cards found." << 1;
        // This seed loses requests, reports and acks both ways: both sides must resend.
        QTest::newRow("udp, 30% loss each way")
            << QStringLiteral(
                   "--udp 127.0.0.1:0 --scan-ms 300 --resend-ms 200 --drop-rx 30 --drop-tx 30 --seed 11")
                   .split(' ')
            << 0 << "<02>BD0131EF<03>" << dali << "1 cards found." << -1;
        // Where the request's wait is at stake, against a master reporting from sender mode 0, and one
        // reporting from its own address. The request is resent every 200 ms here.
        for (const QStringList &master : {QStringList{}, QStringList{"--master-address", "0xA5B6C7"}}) {
            const auto name = [&master](const char *row) {
                return QByteArray(row) + (master.isEmpty() ? "" : ", own address");
            };
            // The master's COACKN is lost, its reports over 0.6 s show that it scans: the request goes once.
            QTest::newRow(name("udp, the master's COACKN lost"))
                << QStringList{"--udp", "127.0.0.1:0", "--scan-ms", "600", "--no-ack"} + master << 0
                << "<02>BD0131EF<03>" << dali << "1 cards found." << 1;
            // Reports the scan cannot read show nothing: the request goes five times and is given up.
            QTest::newRow(name("udp, unusable reports, COACKN lost"))
                << QStringList{"--udp", "127.0.0.1:0", "--no-ack", "--unusable-reports"} + master << 0
                << "<02>BD0131EF<03>" << QStringList{} << noAnswer << 5;
        }
        // The module passes nothing on: the request goes out five times and is given up.
        QTest::newRow("nobody answers") << QStringList{"--udp", "127.0.0.1:0", "--drop-rx", "100"} << 0
                                        << "<02>BD0131EF<03>" << QStringList{} << noAnswer << 5;
        QTest::newRow("tcp, killed during the scan")
            << QStringList{"--tcp", "127.0.0.1:0", "--scan-ms", "3000"} << 1 << "<02>BD0131EF<03>"
            << QStringList{} << lost << 1;
        QTest::newRow("pty, hung up during the scan") << QStringList{"--pty", "--scan-ms", "3000"} << 1
                                                      << "<02>BD0231F0<03>" << QStringList{} << lost << 1;
        QTest::newRow("udp, killed before the scan")
            << QStringList{"--udp", "127.0.0.1:0"} << 2 << QString() << QStringList{} << lost << 0;
    }

    void scanOutcomes()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, kill);
        QFETCH(QString, scanRequest);
        QFETCH(QString, status);
        SimProcess sim;
        const QString url = sim.start(simOptions);
        QVERIFY(!url.isEmpty());
        WindowBench toolbox;
        toolbox.open({QUrl(url)});
        // The module answers LOGIN at once: a lost one is noticed in 1 s instead of 2, a logout lasts 0.2 s.
        toolbox.window->manager()->setEthWaits(1000, 200);
        QCOMPARE(toolbox.status(), "Connected to " + url);
        // The five sends of an unanswered request 200 ms apart: their 1 s spacing is reachesTheModule's.
        QFETCH(int, sends);
        if (sends == 5 || simOptions.contains("--drop-tx") ||
            QByteArray(QTest::currentDataTag()).contains("COACKN lost"))
            toolbox.window->manager()->policyDefault.timeout = 4;
        if (kill == 2) {
            sim.kill();
            QTest::qWait(200);
            QCOMPARE(toolbox.status(), "Connected to " + url);
        }
        toolbox.click("butScan");
        if (kill == 1) {
            QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(),
                                      QStringLiteral("Bus scanning started. Please wait..."), 5000);
            sim.kill();
        }
        const int timeout = kill ? 3000 : 20000;
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), status.replace("URL", url), timeout);
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.widget<QPushButton>("butScan")->isEnabled(), kill == 0, timeout);
        QTEST(toolbox.texts("comboScan"), "modules");
        QCOMPARE(sim.linesWith("PC->BUS COSCAN").filter(scanRequest).isEmpty(), scanRequest.isEmpty());
        if (sends >= 0)
            QCOMPARE(sim.linesWith("PC->BUS COSCAN").size(), sends);
        if (kill == 0)
            return;
        QVERIFY(!toolbox.window->manager()->isConnected());
        // Refresh tries the endpoint again: the logout and login waits are bounded.
        QElapsedTimer clock;
        clock.start();
        toolbox.click("butRefresh");
        QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        // The reopen says why it failed.
        QVERIFY2(toolbox.status().startsWith("Not connected to " + url + ": "), qPrintable(toolbox.status()));
        QVERIFY(toolbox.status().endsWith(". Check the connection, then press Refresh."));
    }

    // Refresh leaves the working module session as it is (no logout, no second login); the erase goes
    // out once, or five times 1 s apart when it is not acknowledged.
    void reachesTheModule_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("transmissions");
        QTest::addColumn<QString>("status");
        QTest::newRow("acknowledged")
            << QStringList{} << 1
            << "LUX42 s/n:1234567 v3 accepted the erase of its DALI short addresses and groups.";
        QTest::newRow("no acknowledgement") << QStringList{"--no-ack"} << 5
                                            << "LUX42 s/n:1234567 v3 did not acknowledge the erase after 5 "
                                               "attempts. Nothing is known to be erased.";
    }

    void reachesTheModule()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(int, transmissions);
        SimProcess sim;
        const QString url = sim.start(QStringList{"--udp", "127.0.0.1:0", "--scan-ms", "0"} + simOptions);
        QVERIFY(!url.isEmpty());
        WindowBench toolbox;
        toolbox.open({QUrl(url)});
        // The module answers LOGIN at once: a lost one is noticed in 1 s instead of 2, a logout lasts 0.2 s.
        toolbox.window->manager()->setEthWaits(1000, 200);
        toolbox.click("butRefresh");
        toolbox.click("butScan");
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.texts("comboScan").size(), 1, 10000);
        QTRY_COMPARE(sim.linesWith(QStringLiteral("  scan finished")).size(), 1);

        toolbox.answer(QMessageBox::Yes);
        toolbox.click("butEraseShort");
        QFETCH(QString, status);
        QTRY_COMPARE_WITH_TIMEOUT(toolbox.status(), status, 8000);
        if (transmissions == 1)
            QTest::qWait(1200); // a resend would show 1 s after the first transmission
        QTRY_COMPARE(sim.linesWith(QStringLiteral("PC->BUS COSETDATA")).size(), transmissions);
        const QStringList sent = sim.linesWith(QStringLiteral("PC->BUS COSETDATA"));
        for (int i = 0; i < sent.size(); ++i) {
            QVERIFY2(sent.at(i).endsWith("PC->BUS COSETDATA     1 -> 3:3F12D687  t1 ack  data 3F F1  "
                                         "<02>BD0D3F12D6871F3FF1C7<03>"),
                     qPrintable(sent.at(i)));
            const double gap =
                i == 0 ? 1.0 : SimProcess::stampOf(sent.at(i)) - SimProcess::stampOf(sent.at(i - 1));
            QVERIFY2(gap > 0.8 && gap < 1.6, qPrintable(QString::number(gap)));
        }
        QCOMPARE(toolbox.status(), status);
        QVERIFY(toolbox.widget<QPushButton>("butEraseShort")->isEnabled());
        QCOMPARE(sim.linesWith(QStringLiteral("LOGIN")).size(), 1);
        QCOMPARE(sim.linesWith(QStringLiteral("LOGOUT")).size(), 0);
    }
};

QTEST_MAIN(tst_scan)
#include "tst_scan.moc"
