#include "fakeethmodule.h"
#include "mytreatcompc.h"
#include "windowbench.h"

#include <QtTest>

class tst_Connection : public QObject
{
    Q_OBJECT

private slots:
    void startUpAndRefresh_data()
    {
        QTest::addColumn<QList<quint32>>("attached");
        QTest::addColumn<bool>("busy");
        QTest::addColumn<bool>("unplugThenRefresh");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("scanEnabled");
        const QList<quint32> master{0x0403EF50};
        const QStringList usbKvmx{"USB (kvmx)"};
        QTest::newRow("master") << master << false << false << usbKvmx << "Connected to " + masterUrl << true;
        QTest::newRow("master held by another program")
            << master << true << false << usbKvmx << "Not connected to " + masterUrl << false;
        QTest::newRow("nothing") << QList<quint32>{} << false << false << QStringList{} << QString() << true;
        // The window looks for the bus master only.
        QTest::newRow("vtap only") << QList<quint32>{0x0403EF51} << false << false << QStringList{}
                                   << QString() << true;
        QTest::newRow("refresh after unplugging")
            << master << false << true << QStringList{} << "Not connected to " << false;
    }

    void startUpAndRefresh()
    {
        QFETCH(QList<quint32>, attached);
        QFETCH(bool, busy);
        QFETCH(bool, unplugThenRefresh);
        WindowBench bench;
        for (quint32 id : attached)
            bench.plug(id, busy);
        bench.open();
        if (unplugThenRefresh) {
            bench.driver().unplug(0);
            bench.click("butRefresh");
        }

        QTEST(bench.texts("comboPort"), "labels");
        QTEST(bench.status(), "status");
        QTEST(bench.widget<QPushButton>("butScan")->isEnabled(), "scanEnabled");
        // No selection happened when nothing was ever listed.
        QCOMPARE(bench.window->manager() != nullptr, !bench.status().isEmpty());
        if (!bench.texts("comboPort").isEmpty()) {
            QCOMPARE(bench.widget("comboPort")->currentIndex(), 0);
            QCOMPARE(bench.widget("comboPort")->itemData(0), QVariant(QUrl(masterUrl)));
        }
    }

    void unplugWhileConnected()
    {
        WindowBench bench;
        bench.plug();
        bench.open();
        bench.driver().unplug(0);
        // The link notices at its next 50 ms poll.
        QTRY_COMPARE_WITH_TIMEOUT(bench.status(), "Not connected to " + masterUrl, 500);
        QVERIFY(!bench.widget<QPushButton>("butScan")->isEnabled());
    }

    void commandLineEndpointsAreListedAndKept()
    {
        WindowBench bench;
        bench.plug(0x0403EF50);
        bench.plug(0x0403EF51);
        bench.open({QUrl("udp://127.0.0.1:9"), QUrl(vtapUrl), QUrl("serial://COM7?baud=38400")});
        const QStringList labels{"USB (vtap)", "USB (kvmx)", "127.0.0.1 (ntx07)", "com7 (kvmx)"};
        QCOMPARE(bench.texts("comboPort"), labels);
        QCOMPARE(bench.widget("comboPort")->itemData(2), QVariant(QUrl("udp://127.0.0.1:9")));
        QCOMPARE(bench.status(), "Connected to " + vtapUrl);
        QCOMPARE(bench.device(1).baudRate, 115200u);

        bench.click("butRefresh");
        QCOMPARE(bench.texts("comboPort"), labels);
        QCOMPARE(bench.status(), "Connected to " + vtapUrl);
        // The vtap device was reopened once per selection: never an extra open for the entry below it.
        QCOMPARE(bench.driver().calls.filter(QRegularExpression("^Open ")).size(), 2);
    }

    // The Ethernet open and close wait while processing events. Slots reached from there (a timer,
    // a queued call) must neither touch the manager being replaced nor build one of their own.
    void slotsReachedDuringEthernetWaits_data()
    {
        QTest::addColumn<bool>("moduleAnswers");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("USB to a silent module: 2 s open") << false << 0 << 1;
        QTest::newRow("module to USB: 1.5 s logout") << true << 1 << 0;
    }

    void slotsReachedDuringEthernetWaits()
    {
        QFETCH(bool, moduleAnswers);
        QFETCH(int, from);
        QFETCH(int, to);
        FakeEthModule module;
        if (!moduleAnswers)
            module.loginReply.clear();
        WindowBench bench;
        bench.plug();
        bench.open({QUrl(module.url())});
        bench.widget("comboPort")->setCurrentIndex(from);
        bench.widget("comboScan")->addItem(QStringLiteral("LUX42 s/n:1234567 v3"), 0x3F12D687u);

        bool managerGoneMeanwhile = false;
        QMetaObject::invokeMethod(bench.window.get(), "on_butScan_clicked", Qt::QueuedConnection);
        QTimer::singleShot(300, bench.window.get(), [&] {
            managerGoneMeanwhile = bench.window->manager() == nullptr;
            bench.click("butEraseShort");
            bench.click("butScan");
            bench.click("butRefresh");
        });
        bench.widget("comboPort")->setCurrentIndex(to);

        QVERIFY(managerGoneMeanwhile);
        // The refresh made the master current again; the window ends on it, with one device open.
        QCOMPARE(bench.widget("comboPort")->currentIndex(), 0);
        QCOMPARE(bench.status(), "Connected to " + masterUrl);
        QCOMPARE(bench.window->manager()->urlString(), masterUrl);
        QCOMPARE(bench.driver().openHandleCount(), 1);
    }
};

QTEST_MAIN(tst_Connection)
#include "tst_connection.moc"
