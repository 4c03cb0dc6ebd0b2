// The command line without a window, run as a script would run it, against the simulator.

#include "e2ebench.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

class tst_cli : public QObject
{
    Q_OBJECT

private slots:
    void runs_data()
    {
        QTest::addColumn<QStringList>("simOptions");
        QTest::addColumn<QStringList>("arguments"); // URL stands for the simulator's endpoint
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("reason"); // a line of stderr
        const QStringList three{"--module",   "LUX42:0x12D687:3", "--module",
                                "REL08:66:1", "--module",         "LUX42:0x777:5"};
        const QString bus = QStringLiteral("LUX42 s/n:1234567 v3\nREL08 s/n:66 v1\nLUX42 s/n:1911 v5\n");
        QTest::newRow("scan") << three << QStringList{"--scan", "URL"} << 0 << bus
                              << "3 cards found. Scan continues...";
        QTest::newRow("scan, json") << three << QStringList{"--scan", "URL", "--json"} << 0 << "json"
                                    << "2 cards found.";
        QTest::newRow("erase, not confirmed")
            << three << QStringList{"--erase", "URL", "--module", "1911"} << 3
            << "Would erase the short addresses and groups of every DALI slave behind LUX42 s/n:1911 v5.\n"
            << "Nothing erased: add --yes to erase.";
        QTest::newRow("erase")
            << three << QStringList{"--erase", "URL", "--module", "0x777", "--yes"} << 0
            << "LUX42 s/n:1911 v5 accepted the erase of its DALI short addresses and groups.\n"
            << "Erase short address of all DALI slaves is taking 2sec to complete.";
        QTest::newRow("erase, unknown module")
            << three << QStringList{"--erase", "URL", "--module", "66", "--yes"} << 1 << ""
            << "No DALI interface module with s/n:66 on the bus.";
        QTest::newRow("master falls silent")
            << QStringList{"--no-end"} << QStringList{"--scan", "URL"} << 1 << ""
            << "Scan incomplete: no report from the bus master for 15 s. Scan again.";
        QTest::newRow("time limit") << QStringList{"--scan-ms", "5000"}
                                    << QStringList{"--scan", "URL", "--timeout", "1"} << 1 << ""
                                    << "Time limit of 1 s reached.";
        QTest::newRow("bad arguments")
            << QStringList{} << QStringList{"--scan", "URL", "--yes"} << 2 << ""
            << "telvoran-dali-toolbox: --module and --yes go with --erase (see --help)";
    }

    void runs()
    {
        QFETCH(QStringList, simOptions);
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        SimProcess sim;
        const QString url =
            "udp://" + sim.start(QStringList{"--udp", "127.0.0.1:0", "--scan-ms", "0"} + simOptions);
        arguments.replaceInStrings(QStringLiteral("URL"), url);
        QProcess toolbox;
        toolbox.start(QStringLiteral(TOOLBOX_EXECUTABLE), arguments);
        QVERIFY(toolbox.waitForFinished(40000));
        QTEST(toolbox.exitCode(), "exitCode");
        const QString stdOut = QString::fromUtf8(toolbox.readAllStandardOutput());
        const QStringList stdErr = QString::fromUtf8(toolbox.readAllStandardError()).split('\n');
        QFETCH(QString, reason);
        QVERIFY2(stdErr.contains(reason), qPrintable(stdErr.join('\n')));
        if (out != "json") {
            QCOMPARE(stdOut, out);
            QTest::qWait(200); // the simulator's log is read as the event loop turns
            QCOMPARE(sim.linesWith(QStringLiteral("DALI line of")).size(), int(out.contains("accepted")));
            return;
        }
        QJsonObject document = QJsonDocument::fromJson(stdOut.toUtf8()).object();
        QVERIFY(QDateTime::fromString(document.take("date").toString(), Qt::ISODate).isValid());
        const auto module = [](int type, const char *name, int serial, int version, qint64 id) {
            return QJsonObject{{"typeCode", type},   {"typeName", name}, {"serial", serial},
                               {"version", version}, {"id", id},         {"daliInterface", type == 63}};
        };
        QCOMPARE(document, (QJsonObject{{"endpoint", url},
                                        {"outcome", "completed"},
                                        {"tableRead", true},
                                        {"modules", QJsonArray{module(63, "LUX42", 1234567, 3, 0x3F12D687),
                                                               module(5, "REL08", 66, 1, 0x05000042),
                                                               module(63, "LUX42", 1911, 5, 0x3F000777)}}}));
    }

    // The trace of a scan: every unit both ways, in order, each stamped with the time and the endpoint.
    void traceOfAScan()
    {
        SimProcess sim;
        const QString url = "udp://" + sim.start({"--udp", "127.0.0.1:0", "--scan-ms", "0"});
        QTemporaryDir dir;
        QProcess toolbox;
        toolbox.start(QStringLiteral(TOOLBOX_EXECUTABLE), {"--scan", url, "--trace", dir.filePath("trace")});
        QVERIFY(toolbox.waitForFinished(20000));
        QFile file(dir.filePath("trace"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QRegularExpression stamp(QStringLiteral("^[0-9-]{10} [0-9:]{8}\\.[0-9]{3} "));
        QStringList lines;
        for (const QString &line : QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.contains(stamp), qPrintable(line));
            lines << QString(line).remove(stamp).replace(url, "URL");
        }
        const QString ack = QStringLiteral("PC->BUS URL COACKN        1 -> 0  t1  data -  <02>F90101FB<03>");
        QCOMPARE(
            lines,
            (QStringList{
                "PC->BUS URL SESSION       LOGIN", "BUS->PC URL SESSION       INFO:Session opened<0D><0A>",
                "PC->BUS URL COSCAN        1 -> 0  t1 ack  data -  <02>BD0131EF<03>",
                "BUS->PC URL SESSION       MOD_VERSION=ETH_V12-STK_V34<0D><0A>",
                "BUS->PC URL COACKN        0 -> 1  t1  data -  <02>F90401FE<03>",
                "BUS->PC URL COSENDTASK    0 -> 1  t1 ack  data 02  <02>BD04630226<03>", ack,
                "BUS->PC URL COGIVENBRMOD  0 -> 1  t1 ack  data 00 01  <02>BD04370001F9<03>", ack,
                "BUS->PC URL COTRANSTABLE  0 -> 1  t1 ack  data 00 F0 00 00 00 08 3F 12 D6 87 00 00 03 00  "
                "<02>BD041600F0000000083F12D6870000030080<03>",
                ack, "BUS->PC URL COSENDTASK    0 -> 1  t1 ack  data 01  <02>BD04630125<03>", ack}));
    }
};

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
