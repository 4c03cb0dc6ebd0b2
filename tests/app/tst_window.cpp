#include "endpointarguments.h"
#include "fakeethmodule.h"
#include "mytreatcompc.h"
#include "windowbench.h"

#include <QtTest>
#include <QtWidgets>

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    void titleAndForm()
    {
        QCoreApplication::setApplicationVersion(QStringLiteral("1.0"));
        WindowBench bench;
        bench.open();
        QCOMPARE(bench.window->windowTitle(), QStringLiteral("Telvoran2 DALI toolbox (1.0)"));
        QStringList texts;
        for (const char *name : {"butScan", "butRefresh", "butEraseShort", "butQuit"})
            texts << bench.widget<QPushButton>(name)->text();
        QCOMPARE(texts, (QStringList{"&Scan", "Refresh", "&Erase all short address and group", "&Quit"}));
    }

    void closingExitsWithZero_data()
    {
        QTest::addColumn<bool>("byShortcut");
        QTest::newRow("Ctrl+Q") << true;
        QTest::newRow("Quit button") << false;
    }

    void closingExitsWithZero()
    {
        QFETCH(bool, byShortcut);
        qtelvorandalitoolbox window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QTimer::singleShot(0, &window, [&window, byShortcut] {
            if (byShortcut)
                QTest::keyClick(&window, Qt::Key_Q, Qt::ControlModifier);
            else
                QTest::mouseClick(window.findChild<QPushButton *>(QStringLiteral("butQuit")), Qt::LeftButton);
        });
        QTimer::singleShot(5000, &window, [] { QCoreApplication::exit(99); });
        QCOMPARE(QApplication::exec(), 0);
        QVERIFY(!window.isVisible());
    }

    void startUpAndUnplug_data()
    {
        QTest::addColumn<bool>("master");
        QTest::addColumn<int>("unplug"); // 0: no, 1: while connected, 2: then Refresh
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("scanEnabled");
        QTest::newRow("nothing") << false << 0 << QStringList{} << QString() << true;
        QTest::newRow("unplug while connected")
            << true << 1 << QStringList{"USB (kvmx)"} << "Not connected to " + masterUrl << false;
        QTest::newRow("refresh after unplugging")
            << true << 2 << QStringList{} << "Not connected to " << false;
    }

    void startUpAndUnplug()
    {
        QFETCH(bool, master);
        QFETCH(int, unplug);
        QFETCH(QString, status);
        WindowBench bench;
        if (master)
            bench.plug();
        bench.open();
        if (unplug)
            bench.usb.driver().unplug(0);
        if (unplug == 2)
            bench.click("butRefresh");
        QTRY_COMPARE_WITH_TIMEOUT(bench.status(), status, 500); // the link polls every 50 ms
        QTEST(bench.texts("comboPort"), "labels");
        QTEST(bench.widget<QPushButton>("butScan")->isEnabled(), "scanEnabled");
        QCOMPARE(bench.window->manager() != nullptr, !bench.status().isEmpty());
    }

    // Command-line endpoints are parsed strictly, labelled by kind and kept on Refresh; the vtap goes to
    // the top. A pid that is no number is no vtap's.
    void commandLineEndpointsAreListedAndKept()
    {
        const QString vtap = QStringLiteral("usb://localhost?vid=1027&pid=61265");
        WindowBench bench;
        bench.plug(0x0403EF50);
        bench.plug(0x0403EF51);
        const EndpointArguments arguments = parseEndpointArguments(
            {"udp://127.0.0.1:9", "http://h", "USB://localhost?vid=1027&pid=61265", "udp://h:port",
             "SERIAL://COM7?baud=38400", "udp://me:p s@127.0.0.1", "udp://127.0.0.1:99999",
             "udp://[::1]:17481", "usb://localhost?vid=1027&pid=abc"});
        const QString invalid = QStringLiteral("Invalid endpoint URL skipped: \"%1\"");
        QCOMPARE(arguments.rejections,
                 (QStringList{
                     "Endpoint URL with unknown scheme skipped (use usb, serial, udp or tcp): \"http://h\"",
                     invalid.arg("udp://h:port"), invalid.arg("udp://me:p s@127.0.0.1"),
                     invalid.arg("udp://127.0.0.1:99999")}));
        bench.open(arguments.endpoints);
        const QStringList labels{"USB (vtap)",  "USB (kvmx)",  "127.0.0.1 (ntx07)",
                                 "com7 (kvmx)", "::1 (ntx07)", "USB (kvmx)"};
        QCOMPARE(bench.texts("comboPort"), labels);
        QCOMPARE(bench.status(), "Connected to " + vtap);
        bench.click("butRefresh");
        QCOMPARE(bench.texts("comboPort"), labels);
        QCOMPARE(bench.status(), "Connected to " + vtap);
    }

    // The Ethernet open and close wait while processing events; slots reached from there must
    // neither touch the manager being replaced nor build one of their own.
    void slotsReachedDuringEthernetWaits_data()
    {
        QTest::addColumn<int>("from"); // the module answers only when it is left
        QTest::newRow("USB to a silent module: 2 s open") << 0;
        QTest::newRow("module to USB: 1.5 s logout") << 1;
    }

    void slotsReachedDuringEthernetWaits()
    {
        QFETCH(int, from);
        FakeEthModule module;
        if (from == 0)
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
        bench.widget("comboPort")->setCurrentIndex(1 - from);

        QVERIFY(managerGoneMeanwhile);
        QCOMPARE(bench.widget("comboPort")->currentIndex(), 0);
        QCOMPARE(bench.status(), "Connected to " + masterUrl);
        QCOMPARE(bench.window->manager()->urlString(), masterUrl);
        QCOMPARE(bench.usb.driver().openHandleCount(), 1);
    }
};

QTEST_MAIN(tst_Window)
#include "tst_window.moc"
