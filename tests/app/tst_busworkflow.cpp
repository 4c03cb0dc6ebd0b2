#include "logcapture.h"
#include "windowbench.h"

#include <QtTest>

namespace {

// The master's reports over USB.
const QByteArray scanAcknowledged = "B90801C2";
const QByteArray scanStarted = "BD0863022A";
const QByteArray scanEnded = "BD08630129";
const QByteArray count300 = "BD0837012C29";
// Records of types 9, 63 (s/n 0x12D687, v3) and 63 (s/n 5, v7).
const QByteArray table3 = "BD081600F00000001809000001000001003F12D687000003003F00000500000700EA";
// Records of types 9 and 63 (s/n 0x00ABCD, v9).
const QByteArray tableOther = "BD081600F00000001009000001000001003F00ABCD00000900A6";
// Four records announced; one whole record and 7 bytes of the DALI module's.
const QByteArray tableCut = "BD081600F00000002009000001000001003F12D687000003A7";
const QString dali1234567 = QStringLiteral("LUX42 s/n:1234567 v3");

} // namespace

class tst_BusWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void requestsAndRefusals_data()
    {
        QTest::addColumn<bool>("master");
        QTest::addColumn<bool>("moduleListed");
        QTest::addColumn<QByteArray>("button");
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QString>("status");
        const QByteArray scan("butScan"), erase("butEraseShort");
        QTest::newRow("scan") << true << false << scan << transport("BD0231F0")
                              << "KVMX will start bus scanning. Please wait...";
        QTest::newRow("erase") << true << true << erase << transport("BD0E3F12D6871F3FF1C8")
                               << "Erase short address of all DALI slaves is taking 2sec to complete.";
        QTest::newRow("erase, no module")
            << true << false << erase << QByteArray() << "No DALI module selected. Scan the bus first.";
        QTest::newRow("scan, empty port list")
            << false << false << scan << QByteArray() << "Error while sending frame. Please retry...";
    }

    void requestsAndRefusals()
    {
        QFETCH(bool, master);
        QFETCH(bool, moduleListed);
        QFETCH(QByteArray, button);
        WindowBench bench;
        if (master)
            bench.plug();
        bench.open();
        if (moduleListed)
            bench.widget("comboScan")->addItem(dali1234567, 0x3F12D687u);
        bench.click(button.constData());
        QTEST(bench.status(), "status");
        if (master)
            QTEST(bench.device().written, "sent");
    }

    void masterReports_data()
    {
        QTest::addColumn<int>("scanPresses");
        QTest::addColumn<QByteArrayList>("reports");
        QTest::addColumn<QStringList>("modules");
        QTest::addColumn<QString>("status");
        const QStringList dali{dali1234567};
        const QByteArrayList inOrder{scanStarted, count300, table3, scanEnded};
        QTest::newRow("in order, each twice") << 2 << inOrder << dali << "1 cards found.";
        QTest::newRow("table first") << 1 << QByteArrayList{table3, scanStarted, count300} << dali
                                     << "300 cards found. Scan continues...";
        QTest::newRow("second table replaces the first")
            << 2 << QByteArrayList{table3, tableOther} << QStringList{"LUX42 s/n:43981 v9"}
            << "1 cards found.";
        QTest::newRow("length beyond payload")
            << 1 << QByteArrayList{table3, tableCut} << QStringList{} << "0 cards found.";
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
        QVERIFY(bench.masterSends(QByteArrayList{scanAcknowledged} + reports));
        QTEST(bench.texts("comboScan"), "modules");
        QTEST(bench.status(), "status");
        if (bench.texts("comboScan") == QStringList{dali1234567})
            QCOMPARE(bench.widget("comboScan")->currentData(), QVariant(0x3F12D687u));
    }

    // Each scan request connects to allNewFrame; the end of the scan removes every connection.
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
        QVERIFY(bench.masterSends({table3}));
        QCOMPARE(bench.widget("comboScan")->count(), 0);
        QCOMPARE(bench.status(), "End of scan. No card found !!");
    }
};

QTEST_MAIN(tst_BusWorkflow)
#include "tst_busworkflow.moc"
