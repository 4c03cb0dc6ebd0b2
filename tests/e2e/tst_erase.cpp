#include "e2ebench.h"
#include "mytreatcompc.h"

#include <QSignalSpy>

class tst_erase : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    void reachesTheModule_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<int>("transmissions");
        QTest::addColumn<QString>("status");
        QTest::newRow("acknowledged")
            << QStringList{} << 1
            << "LUX42 s/n:1234567 v3 accepted the erase of its DALI short addresses and groups.";
        // The first send and 4 retries, 1 s apart, then the request is dropped.
        QTest::newRow("no acknowledgement")
            << QStringList{"--no-ack"} << 5
            << "LUX42 s/n:1234567 v3 did not acknowledge the erase after 5 attempts. Nothing is known to be erased.";
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

QTEST_MAIN(tst_erase)
#include "tst_erase.moc"
