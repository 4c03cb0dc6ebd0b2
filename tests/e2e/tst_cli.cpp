// The command line without a window, run as a script would run it, against the simulator.

#include "e2ebench.h"

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
        QTest::newRow("scan, traced") << QStringList{} << QStringList{"--scan", "URL", "--trace", "TRACE"}
                                      << 0 << "LUX42 s/n:1234567 v3\n"
                                      << "1 cards found.";
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
        const QString url = sim.start(QStringList{"--udp", "127.0.0.1:0", "--scan-ms", "0"} + simOptions);
        QTemporaryDir dir;
        arguments.replaceInStrings(QStringLiteral("URL"), url)
            .replaceInStrings(QStringLiteral("TRACE"), dir.filePath("trace"));
        QProcess toolbox;
        toolbox.start(QStringLiteral(TOOLBOX_EXECUTABLE), arguments);
        QVERIFY(toolbox.waitForFinished(40000));
        QTEST(toolbox.exitCode(), "exitCode");
        const QString stdOut = QString::fromUtf8(toolbox.readAllStandardOutput());
        const QStringList stdErr = QString::fromUtf8(toolbox.readAllStandardError()).split('\n');
        QFETCH(QString, reason);
        QVERIFY2(stdErr.contains(reason), qPrintable(stdErr.join('\n')));
        if (out == "json") {
            QJsonObject document = QJsonDocument::fromJson(stdOut.toUtf8()).object();
            QVERIFY(QDateTime::fromString(document.take("date").toString(), Qt::ISODate).isValid());
            const QString expected = readAll(QFINDTESTDATA("scan.json")).replace("URL", url);
            QCOMPARE(document, QJsonDocument::fromJson(expected.toUtf8()).object());
            return;
        }
        QCOMPARE(stdOut, out);
        QTest::qWait(200); // the simulator's log is read as the event loop turns
        QCOMPARE(sim.linesWith(QStringLiteral("DALI line of")).size(), int(out.contains("accepted")));
        if (!arguments.contains("--trace"))
            return;
        // The trace: every unit both ways, in order, each stamped with the time and the endpoint.
        const QRegularExpression stamp(QStringLiteral("^[0-9-]{10} [0-9:]{8}\\.[0-9]{3} "));
        QStringList lines;
        for (const QString &line : readAll(dir.filePath("trace")).split('\n', Qt::SkipEmptyParts)) {
            QVERIFY2(line.contains(stamp), qPrintable(line));
            lines << QString(line).remove(stamp).replace(url, "URL");
        }
        QCOMPARE(lines, readAll(QFINDTESTDATA("scan.trace")).split('\n', Qt::SkipEmptyParts));
    }
};

QTEST_GUILESS_MAIN(tst_cli)
#include "tst_cli.moc"
