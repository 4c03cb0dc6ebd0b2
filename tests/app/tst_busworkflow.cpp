#include "fakeethmodule.h"
#include "logcapture.h"
#include "windowbench.h"

#include <QtTest>

namespace {

// The master's reports to this PC over USB, each asking for an acknowledgement.
const QByteArray scanAcknowledged = "B90801C2";
const QByteArray scanStarted = "BD0863022A";
const QByteArray scanEnded = "BD08630129";
const QByteArray emptyTaskReport = "BD086328";
const QByteArray count300 = "BD0837012C29";
// Records of types 9, 63 (s/n 0x12D687, v3) and 63 (s/n 5, v7).
const QByteArray table3 = "BD081600F00000001809000001000001003F12D687000003003F00000500000700EA";
// Records of types 9 and 63 (s/n 0x00ABCD, v9).
const QByteArray tableOther = "BD081600F00000001009000001000001003F00ABCD00000900A6";
// The same two records, with a length field for one record only.
const QByteArray tableOneAnnounced = "BD081600F00000000809000001000001003F00ABCD000009009E";
// Four records announced; one whole record and 7 bytes of the DALI module's.
const QByteArray tableCut = "BD081600F00000002009000001000001003F12D687000003A7";
// End of scan carrying the module table.
const QByteArray endWithTable = "BD086301F0000000083F12D68700000300D2";

const QString scanPressed = QStringLiteral("KVMX will start bus scanning. Please wait...");
const QString sendFailed = QStringLiteral("Error while sending frame. Please retry...");
const QString dali1234567 = QStringLiteral("LUX42 s/n:1234567 v3");

} // namespace

class tst_BusWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void requestBytes_data()
    {
        QTest::addColumn<bool>("overUdp");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("status");
        const QString erasing =
            QStringLiteral("Erase short address of all DALI slaves is taking 2sec to complete.");
        const QByteArray scan("butScan"), erase("butEraseShort");
        QTest::newRow("scan, USB") << false << scan << transport("BD0231F0") << scanPressed;
        QTest::newRow("scan, UDP") << true << scan << transport("BD0131EF") << scanPressed;
        QTest::newRow("erase, USB") << false << erase << transport("BD0E3F12D6871F3FF1C8") << erasing;
        QTest::newRow("erase, UDP") << true << erase << transport("BD0D3F12D6871F3FF1C7") << erasing;
    }

    void requestBytes()
    {
        QFETCH(bool, overUdp);
        QFETCH(QByteArray, button);
        QFETCH(QByteArray, sent);
        FakeEthModule module;
        WindowBench bench;
        if (!overUdp)
            bench.plug();
        bench.open(overUdp ? QList<QUrl>{QUrl(module.url())} : QList<QUrl>{});
        QVERIFY(bench.status().startsWith("Connected to "));
        bench.widget("comboScan")->addItem(dali1234567, 0x3F12D687u);

        bench.click(button.constData());

        QTEST(bench.status(), "status");
        if (overUdp)
            QTRY_COMPARE(module.messages.last(), sent);
        else
            QCOMPARE(bench.device().written, sent);
    }

    void masterReports_data()
    {
        QTest::addColumn<int>("scanPresses");
        QTest::addColumn<QByteArrayList>("reports");
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("status");
        const QStringList none;
        const QStringList dali{dali1234567};
        const QByteArrayList inOrder{scanStarted, count300, table3, scanEnded};
        QTest::newRow("in order") << 1 << inOrder << dali << "1 cards found.";
        // Two requests: every report comes twice through allNewFrame.
        QTest::newRow("in order, each twice") << 2 << inOrder << dali << "1 cards found.";
        QTest::newRow("table first") << 1 << QByteArrayList{table3, scanStarted, count300} << dali
                                     << "300 cards found. Scan continues...";
        QTest::newRow("no module") << 1 << QByteArrayList{scanStarted, scanEnded} << none
                                   << "End of scan. No card found !!";
        QTest::newRow("end of scan with the table")
            << 2 << QByteArrayList{endWithTable} << dali << "1 cards found.";
        QTest::newRow("second table replaces the first")
            << 2 << QByteArrayList{table3, tableOther} << QStringList{"LUX42 s/n:43981 v9"}
            << "1 cards found.";
        QTest::newRow("fewer records announced")
            << 1 << QByteArrayList{tableOneAnnounced} << none << "0 cards found.";
        QTest::newRow("more records announced")
            << 1 << QByteArrayList{table3, tableCut} << none << "0 cards found.";
        QTest::newRow("empty task report") << 1 << QByteArrayList{emptyTaskReport} << none << scanPressed;
    }

    void masterReports()
    {
        QFETCH(int, scanPresses);
        QFETCH(QByteArrayList, reports);
        WindowBench bench;
        bench.plug();
        bench.open();
        for (int i = 0; i < scanPresses; ++i)
            bench.click("butScan");
        LogCapture log;

        QVERIFY(bench.masterSends(QByteArrayList{scanAcknowledged} + reports));

        QTEST(bench.texts("comboScan"), "modules");
        QTEST(bench.status(), "status");
        if (bench.widget("comboScan")->currentText() == dali1234567)
            QCOMPARE(bench.widget("comboScan")->currentData(), QVariant(0x3F12D687u));
        QCOMPARE(log.count("Incomplete COSENDTASK frame"),
                 reports.contains(emptyTaskReport) ? scanPresses : 0);
    }

    // Each scan request adds a connection to allNewFrame; the end of the scan removes them all.
    void endOfScanStopsListening()
    {
        WindowBench bench;
        bench.plug();
        bench.open();
        LogCapture log;
        bench.click("butScan");
        bench.click("butScan");
        QVERIFY(bench.masterSends({scanAcknowledged, scanEnded}));
        QCOMPARE(log.only({"CONNECT ALLFRAME", "DISCONNECT ALLFRAME"}),
                 QStringList({"CONNECT ALLFRAME", "CONNECT ALLFRAME", "DISCONNECT ALLFRAME"}));

        // The manager still takes (and acknowledges) the table; the window no longer hears it.
        QVERIFY(bench.masterSends({table3}));
        QVERIFY(bench.device().written.endsWith(transport("F90201FC")));
        QCOMPARE(bench.widget("comboScan")->count(), 0);
        QCOMPARE(bench.status(), "End of scan. No card found !!");
    }

    void refusedOrFailed_data()
    {
        QTest::addColumn<bool>("master");
        QTest::addColumn<bool>("moduleListed");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QString>("status");
        const QString noModule = QStringLiteral("No DALI module selected. Scan the bus first.");
        QTest::newRow("scan, empty port list") << false << false << QByteArray("butScan") << sendFailed;
        QTest::newRow("erase, empty port list") << false << true << QByteArray("butEraseShort") << sendFailed;
        QTest::newRow("erase, no module, empty port list")
            << false << false << QByteArray("butEraseShort") << noModule;
        QTest::newRow("erase, no module, master") << true << false << QByteArray("butEraseShort") << noModule;
    }

    void refusedOrFailed()
    {
        QFETCH(bool, master);
        QFETCH(bool, moduleListed);
        QFETCH(QByteArray, button);
        QFETCH(QString, status);
        WindowBench bench;
        if (master)
            bench.plug();
        bench.open();
        if (moduleListed)
            bench.widget("comboScan")->addItem(dali1234567, 0x3F12D687u);

        bench.click(button.constData());

        QCOMPARE(bench.status(), status);
        // A refused erase leaves everything as it was: no manager made, nothing sent.
        QCOMPARE(bench.window->manager() != nullptr, master || status == sendFailed);
        if (master)
            QCOMPARE(bench.device().written, QByteArray());
    }
};

QTEST_MAIN(tst_BusWorkflow)
#include "tst_busworkflow.moc"
