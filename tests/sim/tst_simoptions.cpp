#include "simoptions.h"

#include <QtTest>

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void module_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<uint>("moduleId"); // 0x01000002 with version 3: left as it was
        QTest::addColumn<uint>("version");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::newRow("numbers") << "63:1234567:3" << 0x3F12D687u << 3u << QString();
        QTest::newRow("code, hex serial") << "LUX42:0x12D687:3" << 0x3F12D687u << 3u << QString();
        QTest::newRow("lower-case code") << "lux42:0X12d687:12" << 0x3F12D687u << 12u << QString();
        QTest::newRow("largest serial") << "9:0xFFFFFF:255" << 0x09FFFFFFu << 255u << QString();
        const auto rejected = [](const char *text, const char *reason) {
            QTest::newRow(reason) << QString(text) << 0x01000002u << 3u
                                  << QStringLiteral("--module %1: %2").arg(text, reason);
        };
        rejected("63:1234567", "expected TYPE:SERIAL:VERSION");
        rejected("LUX43:1:3", "unknown module type LUX43");
        rejected("-----:1:3", "unknown module type -----");
        rejected("256:1:3", "module type 256 is not a byte");
        rejected("63:0x1000000:3", "serial number 0x1000000 is not a 24-bit number");
        rejected("63:-1:3", "serial number -1 is not a 24-bit number");
        rejected("63:1:256", "version 256 is not a number from 0 to 255");
        rejected("63:1:0x3", "version 0x3 is not a number from 0 to 255");
    }

    void module()
    {
        QFETCH(QString, text);
        QFETCH(uint, moduleId);
        QFETCH(uint, version);
        QFETCH(QString, error);
        SimModule module{1, 2, 3};
        QString message;
        QCOMPARE(SimOptions::parseModule(text, module, message), error.isEmpty());
        QCOMPARE(message, error);
        QCOMPARE(module.moduleId(), moduleId);
        QCOMPARE(uint(module.version), version);
    }

    void commandLine()
    {
        SimOptions defaults;
        QVERIFY(defaults.parse({"sim"}));
        QCOMPARE(defaults.front, SimOptions::FrontUdp);
        QCOMPARE(defaults.host, QHostAddress(QHostAddress::LocalHost));
        QCOMPARE(defaults.port, quint16(17481));
        QCOMPARE(defaults.modules, (QList<SimModule>{SimModule{63, 0x12D687, 3}}));

        SimOptions options;
        QVERIFY2(options.parse(
                     {"sim",          "--tcp",     "127.0.0.2:0", "--module",   "63:1234567:3", "--module",
                      "DIM04:0x10:7", "--scan-ms", "0",           "--drop-rx",  "10",           "--drop-tx",
                      "20",           "--corrupt", "30",          "--delay-ms", "40",           "--no-ack",
                      "--seed",       "7",         "--password",  "pw"}),
                 qPrintable(options.error));
        QCOMPARE(options.front, SimOptions::FrontTcp);
        QCOMPARE(options.host, QHostAddress("127.0.0.2"));
        QCOMPARE(options.modules, (QList<SimModule>{SimModule{63, 1234567, 3}, SimModule{4, 0x10, 7}}));
        QCOMPARE(options.scanMs, 0);
        const SimFaults &faults = options.faults;
        QCOMPARE(QList<int>({faults.dropRxPct, faults.dropTxPct, faults.corruptPct, faults.delayMs}),
                 QList<int>({10, 20, 30, 40}));
        QVERIFY(faults.noAck && options.seeded);
        QCOMPARE(options.seed, 7u);
        QCOMPARE(options.password, QStringLiteral("pw"));
    }

    void commandLineRejected_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        const QString loopbackOnly =
            QStringLiteral(": only loopback addresses are accepted (127.0.0.0/8, ::1)");
        QTest::newRow("not loopback")
            << QStringList{"--udp", "192.168.1.20:17481"} << "192.168.1.20:17481" + loopbackOnly;
        QTest::newRow("any address") << QStringList{"--tcp", "0.0.0.0:17481"}
                                     << "0.0.0.0:17481" + loopbackOnly;
        QTest::newRow("no port") << QStringList{"--udp", "127.0.0.1"} << "127.0.0.1: expected HOST:PORT";
        QTest::newRow("port too big") << QStringList{"--udp", "127.0.0.1:65536"}
                                      << "127.0.0.1:65536: port must be a number from 0 to 65535";
        QTest::newRow("two fronts") << QStringList{"--udp", "127.0.0.1:0", "--pty"}
                                    << "--udp, --tcp and --pty exclude each other";
        QTest::newRow("share above 100")
            << QStringList{"--drop-tx", "101"} << "--drop-tx 101: expected a number from 0 to 100";
        QTest::newRow("empty password") << QStringList{"--password", ""} << "--password must not be empty";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
    }

    void commandLineRejected()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        SimOptions options;
        QVERIFY(!options.parse(QStringList{"sim"} + arguments));
        QCOMPARE(options.error, message);
    }
};

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
