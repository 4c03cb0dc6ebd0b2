#include "endpointarguments.h"
#include "fakeethmodule.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "windowbench.h"

#include <QtTest>
#include <QtWidgets>

class tst_Window : public QObject
{
    Q_OBJECT

private slots:
    // Ctrl+Q and Quit close it and leave the event loop with 0.
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

    // With no bus master plugged in, or with one unplugged (1), then Refresh (2), or plugged in again and
    // chosen again (3).
    void startUpAndUnplug_data()
    {
        QTest::addColumn<int>("action");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("scanEnabled");
        QTest::addColumn<int>("opens");
        const QStringList usb{"USB (kvmx)"};
        const QString none = qtelvorandalitoolbox::noEndpointLine;
        QTest::newRow("nothing") << 0 << QStringList{} << none << false << 0;
        QTest::newRow("unplug while connected")
            << 1 << usb << "Not connected to " + masterUrl + ". Check the connection, then press Refresh."
            << false << 1;
        QTest::newRow("refresh after unplugging") << 2 << QStringList{} << none << false << 1;
        QTest::newRow("unplug, replug, choose again") << 3 << usb << "Connected to " + masterUrl << true << 2;
    }

    void startUpAndUnplug()
    {
        QFETCH(int, action);
        QFETCH(QString, status);
        WindowBench bench;
        if (action > 0) {
            bench.plug();
            bench.open();
            bench.usb.driver().unplug(0);
            QTRY_VERIFY(!bench.window->manager()->isConnected()); // the link polls every 50 ms
        } else {
            bench.open();
        }
        if (action == 2)
            bench.click("butRefresh");
        if (action == 3) {
            bench.device().unplugged = false;
            emit bench.widget("comboPort")->activated(0);
        }
        QCOMPARE(bench.status(), status);
        QTEST(bench.texts("comboPort"), "labels");
        QTEST(bench.widget<QPushButton>("butScan")->isEnabled(), "scanEnabled");
        QVERIFY(!bench.widget<QPushButton>("butEraseShort")->isEnabled()); // nothing scanned, no target
        QCOMPARE(bench.window->manager() != nullptr, action > 0);
        QTEST(int(bench.usb.driver().calls.filter(QRegularExpression("^Open")).size()), "opens");
    }

    void requestsAndRefusals_data()
    {
        QTest::addColumn<bool>("master");
        QTest::addColumn<int>("answer"); // to the erase confirmation; 0: no module listed, no question
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("jobRuns");
        const QByteArray scan("butScan"), erase("butEraseShort");
        QTest::newRow("scan") << true << 0 << scan << transport("BD0231F0")
                              << "KVMX will start bus scanning. Please wait..." << true;
        QTest::newRow("erase, confirmed")
            << true << int(QMessageBox::Yes) << erase << transport("BD0E3F12D6871F3FF1C8")
            << "Erase short address of all DALI slaves is taking 2sec to complete." << true;
        QTest::newRow("erase, refused")
            << true << int(QMessageBox::No) << erase << QByteArray() << "Connected to " + masterUrl << false;
        // Erase is disabled without a target, Scan and Erase without an endpoint: the clicks do nothing.
        QTest::newRow("erase, no module")
            << true << 0 << erase << QByteArray() << "Connected to " + masterUrl << false;
        QTest::newRow("scan, empty port list")
            << false << 0 << scan << QByteArray() << qtelvorandalitoolbox::noEndpointLine << false;
    }

    void requestsAndRefusals()
    {
        QFETCH(bool, master);
        QFETCH(int, answer);
        QFETCH(QByteArray, button);
        QFETCH(bool, jobRuns);
        WindowBench bench;
        if (master)
            bench.plug();
        bench.open();
        if (answer) {
            bench.widget("comboScan")->addItem(QStringLiteral("LUX42 s/n:1234567 v3"), 0x3F12D687u);
            bench.answer(QMessageBox::StandardButton(answer));
        }
        bench.click(button.constData());
        QTEST(bench.status(), "status");
        if (master)
            QTEST(bench.device().written, "sent");
        if (answer) {
            QCOMPARE(bench.question,
                     "Erase the short addresses and groups of every DALI slave behind LUX42\u00A0"
                     "s/n:1234567\u00A0v3? This cannot be undone.");
            QCOMPARE(bench.defaultAnswer, QMessageBox::No); // a stray Enter erases nothing
        }
        // A second request would take the place of the first in the manager, which awaits one answer.
        QCOMPARE(bench.widget<QPushButton>("butEraseShort")->isEnabled(), master && answer && !jobRuns);
        if (master)
            QCOMPARE(bench.widget<QPushButton>("butScan")->isEnabled(), !jobRuns);
    }

    // Every DALI interface module of the table listed as an erase target, in table order; every module
    // in the table, the erase targets in bold and in step with the list; the inventory saved exactly;
    // a scan that fails leaves no earlier rows behind, and Scan comes back whatever the outcome.
    void moduleTableAndInventory()
    {
        WindowBench bench;
        bench.plug();
        bench.open();
        bench.window->manager()->policyDefault.timeout = 2; // given up after 240 ms
        bench.window->manager()->policyDefault.retries = 1;
        bench.click("butScan");
        QVERIFY(!bench.widget<QPushButton>("butScan")->isEnabled());
        QVERIFY(bench.masterSends({"B90801C2", table3, "BD08630129"}));
        QTRY_VERIFY(bench.widget<QPushButton>("butScan")->isEnabled());
        QCOMPARE(bench.texts("comboScan"), (QStringList{"LUX42 s/n:1234567 v3", "LUX42 s/n:5 v7"}));
        QCOMPARE(bench.widget("comboScan")->itemData(1), QVariant(0x3F000005u));
        QCOMPARE(bench.status(), "2 cards found.");
        auto *table = bench.widget<QTableWidget>("tableModules");
        QStringList rows;
        for (int row = 0; row < table->rowCount(); ++row)
            rows << QStringLiteral("%1 %2 %3 %4 %5")
                        .arg(table->item(row, 0)->text(), table->item(row, 1)->text(),
                             table->item(row, 2)->text(), table->item(row, 3)->text())
                        .arg(table->item(row, 2)->font().bold());
        QCOMPARE(rows, (QStringList{"IRX01 9 1 1 0", "LUX42 63 1234567 3 1", "LUX42 63 5 7 1"}));
        QVERIFY(
            bench.widget<QLabel>("labelModules")
                ->text()
                .startsWith("3 modules on the bus, 2 of them DALI interface modules (behind " + masterUrl));
        table->selectRow(2);
        QCOMPARE(bench.widget("comboScan")->currentIndex(), 1);
        bench.widget("comboScan")->setCurrentIndex(0);
        QCOMPARE(table->selectionModel()->selectedRows().value(0).row(), 1);
        // A row that is no erase target leaves none behind.
        table->selectRow(0);
        QCOMPARE(bench.widget("comboScan")->currentIndex(), -1);
        QVERIFY(!bench.widget<QPushButton>("butEraseShort")->isEnabled());
        QCOMPARE(bench.status(),
                 "IRX01 s/n:1 v1 is no DALI interface module: nothing to erase there. Choose a bold row.");

        QTemporaryDir dir;
        const QString date = QStringLiteral("[0-9-]{10}T[0-9:]{8}(Z|[+-][0-9:]{5})");
        const QString csv =
            QStringLiteral("endpoint,date,outcome,type,typeCode,serial,version,id,daliInterface\n"
                           "%1,D,completed,IRX01,9,1,1,150994945,no\n"
                           "%1,D,completed,LUX42,63,1234567,3,1058199175,yes\n"
                           "%1,D,completed,LUX42,63,5,7,1056964613,yes\n")
                .arg(masterUrl);
        bench.saveAs(dir.filePath("inventory.csv"));
        bench.window->exportInventory();
        QCOMPARE(readAll(dir.filePath("inventory.csv")).replace(QRegularExpression(date), "D"), csv);
        bench.saveAs(dir.filePath("inventory.json"));
        bench.window->exportInventory();
        // The document of --scan --json, which the command line's test reads field by field.
        const QJsonObject json =
            QJsonDocument::fromJson(readAll(dir.filePath("inventory.json")).toUtf8()).object();
        QCOMPARE(json.value("modules").toArray().size(), 3);
        // Not even root may create a file in /proc.
        bench.saveAs(QStringLiteral("/proc/inventory.csv"));
        bench.answer(QMessageBox::Ok);
        bench.window->exportInventory();
        QVERIFY2(bench.question.startsWith("Could not save the inventory to /proc/inventory.csv: "),
                 qPrintable(bench.question));

        bench.click("butScan");
        QTRY_VERIFY(bench.widget<QPushButton>("butScan")->isEnabled());
        QCOMPARE(bench.status(), "No answer from the bus master. Check the connection, then Scan again.");
        QCOMPARE(table->rowCount(), 0);
        QCOMPARE(bench.widget<QLabel>("labelModules")->text(),
                 "Scan not finished: no module table was reported.");
        // The failed scan's inventory keeps its outcome; the dialog starts where the last export went and
        // a name typed without extension gets the chosen type's.
        bench.saveAs(dir.filePath("failed"));
        bench.window->exportInventory();
        QCOMPARE(bench.dialogFolder, dir.path());
        QCOMPARE(readAll(dir.filePath("failed.csv")).replace(QRegularExpression(date), "D").section('\n', 1),
                 masterUrl + ",D,no-answer,,,,,,\n");
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
             "SERIAL://COM7?baud=38400", "udp://me:p s@127.0.0.1", "udp://me:pw@127.0.0.1:99999",
             "udp://[::1]:17481", "usb://localhost?vid=1027&pid=abc"});
        const QString invalid = QStringLiteral("Invalid endpoint URL skipped: \"%1\"");
        QCOMPARE(arguments.rejections,
                 (QStringList{
                     "Endpoint URL with unknown scheme skipped (use usb, serial, udp or tcp): \"http://h\"",
                     invalid.arg("udp://h:port"), invalid.arg("udp://me@127.0.0.1"), // no password shown
                     invalid.arg("udp://127.0.0.1:99999")}));
        bench.open(arguments.endpoints);
        const QStringList labels{"USB (vtap)",  "USB (kvmx)",  "127.0.0.1:9 (ntx07)",
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
        QTest::newRow("USB to a silent module: open") << 0;
        QTest::newRow("module to USB: logout") << 1;
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
        bench.window->manager()->setEthWaits(800, 800); // the slots run 300 ms into the wait
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
