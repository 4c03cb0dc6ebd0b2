#include "simoptions.h"

#include <QtTest>

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void moduleAccepted_data();
    void moduleAccepted();
    void moduleRejected_data();
    void moduleRejected();
    void typeCodes();
    void commandLine();
    void commandLineRejected_data();
    void commandLineRejected();
};

void TestSimOptions::moduleAccepted_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<uint>("type");
    QTest::addColumn<uint>("serial");
    QTest::addColumn<uint>("version");
    QTest::addColumn<uint>("moduleId");

    QTest::newRow("numbers") << "63:1234567:3" << 63u << 1234567u << 3u << 0x3F12D687u;
    QTest::newRow("code, hex serial") << "LUX42:0x12D687:3" << 63u << 0x12D687u << 3u << 0x3F12D687u;
    QTest::newRow("lower-case code") << "lux42:0X12d687:12" << 63u << 0x12D687u << 12u << 0x3F12D687u;
    QTest::newRow("largest serial") << "9:0xFFFFFF:255" << 9u << 0xFFFFFFu << 255u << 0x09FFFFFFu;
    QTest::newRow("Ethernet module") << "NTX07:1:0" << 44u << 1u << 0u << 0x2C000001u;
}

void TestSimOptions::moduleAccepted()
{
    QFETCH(QString, text);
    QFETCH(uint, type);
    QFETCH(uint, serial);
    QFETCH(uint, version);
    QFETCH(uint, moduleId);

    SimModule module;
    QString error;
    QVERIFY2(SimOptions::parseModule(text, module, error), qPrintable(error));
    QCOMPARE(uint(module.type), type);
    QCOMPARE(module.serial, serial);
    QCOMPARE(uint(module.version), version);
    QCOMPARE(module.moduleId(), moduleId);
}

void TestSimOptions::moduleRejected_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");

    QTest::newRow("two fields") << "63:1234567"
                                << "--module 63:1234567: expected TYPE:SERIAL:VERSION";
    QTest::newRow("four fields") << "63:1:2:3"
                                 << "--module 63:1:2:3: expected TYPE:SERIAL:VERSION";
    QTest::newRow("unknown code") << "LUX43:1:3"
                                  << "--module LUX43:1:3: unknown module type LUX43";
    QTest::newRow("placeholder code") << "-----:1:3"
                                      << "--module -----:1:3: unknown module type -----";
    QTest::newRow("type above a byte") << "256:1:3"
                                       << "--module 256:1:3: module type 256 is not a byte";
    QTest::newRow("serial above 24 bits")
        << "63:0x1000000:3"
        << "--module 63:0x1000000:3: serial number 0x1000000 is not a 24-bit number";
    QTest::newRow("serial not a number") << "63:12ab:3"
                                         << "--module 63:12ab:3: serial number 12ab is not a 24-bit number";
    QTest::newRow("negative serial") << "63:-1:3"
                                     << "--module 63:-1:3: serial number -1 is not a 24-bit number";
    QTest::newRow("version above a byte") << "63:1:256"
                                          << "--module 63:1:256: version 256 is not a number from 0 to 255";
    QTest::newRow("hex version") << "63:1:0x3"
                                 << "--module 63:1:0x3: version 0x3 is not a number from 0 to 255";
}

void TestSimOptions::moduleRejected()
{
    QFETCH(QString, text);
    QFETCH(QString, message);

    SimModule module{1, 2, 3};
    QString error;
    QVERIFY(!SimOptions::parseModule(text, module, error));
    QCOMPARE(error, message);
    QCOMPARE(module, (SimModule{1, 2, 3}));
}

void TestSimOptions::typeCodes()
{
    QCOMPARE(SimModuleTypes::code(63), QStringLiteral("LUX42"));
    QCOMPARE(SimModuleTypes::code(18), QStringLiteral("--12-"));
    QCOMPARE(SimModuleTypes::code(29), QStringLiteral("--1D-"));
    QCOMPARE(SimModuleTypes::code(72), QString());
    for (int number : {0, 16, 32, 48, 64})
        QCOMPARE(SimModuleTypes::code(number), QStringLiteral("-----"));
    // Every real code names exactly one number, so a code on the command line is unambiguous.
    for (int number = 0; number < SimModuleTypes::count; ++number) {
        QCOMPARE(SimModuleTypes::code(number).size(), 5);
        if (!SimModuleTypes::isPlaceholder(number))
            QCOMPARE(SimModuleTypes::number(SimModuleTypes::code(number)), number);
    }
}

void TestSimOptions::commandLine()
{
    SimOptions defaults;
    QVERIFY(defaults.parse({"sim"}));
    QCOMPARE(defaults.front, SimOptions::FrontUdp);
    QCOMPARE(defaults.host, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(defaults.port, quint16(17481));
    QCOMPARE(defaults.modules, (QList<SimModule>{SimModule{63, 0x12D687, 3}}));
    QCOMPARE(defaults.scanMs, 1500);
    QVERIFY(defaults.password.isEmpty());

    SimOptions options;
    QVERIFY2(
        options.parse({"sim",          "--tcp",     "127.0.0.2:0", "--module",   "63:1234567:3", "--module",
                       "DIM04:0x10:7", "--scan-ms", "0",           "--drop-rx",  "10",           "--drop-tx",
                       "20",           "--corrupt", "30",          "--delay-ms", "40",           "--no-ack",
                       "--seed",       "7",         "--password",  "pw"}),
        qPrintable(options.error));
    QCOMPARE(options.front, SimOptions::FrontTcp);
    QCOMPARE(options.host, QHostAddress("127.0.0.2"));
    QCOMPARE(options.port, quint16(0));
    QCOMPARE(options.modules, (QList<SimModule>{SimModule{63, 1234567, 3}, SimModule{4, 0x10, 7}}));
    QCOMPARE(options.scanMs, 0);
    QCOMPARE(options.faults.dropRxPct, 10);
    QCOMPARE(options.faults.dropTxPct, 20);
    QCOMPARE(options.faults.corruptPct, 30);
    QCOMPARE(options.faults.delayMs, 40);
    QVERIFY(options.faults.noAck);
    QVERIFY(options.seeded);
    QCOMPARE(options.seed, 7u);
    QCOMPARE(options.password, QStringLiteral("pw"));

    SimOptions pty;
    QVERIFY(pty.parse({"sim", "--pty"}));
    QCOMPARE(pty.front, SimOptions::FrontPty);
}

void TestSimOptions::commandLineRejected_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("not loopback")
        << QStringList{"--udp", "192.168.1.20:17481"}
        << "192.168.1.20:17481: only loopback addresses are accepted (127.0.0.0/8, ::1)";
    QTest::newRow("any address") << QStringList{"--tcp", "0.0.0.0:17481"}
                                 << "0.0.0.0:17481: only loopback addresses are accepted (127.0.0.0/8, ::1)";
    QTest::newRow("host name") << QStringList{"--udp", "example.org:1"}
                               << "example.org:1: only loopback addresses are accepted (127.0.0.0/8, ::1)";
    QTest::newRow("no port") << QStringList{"--udp", "127.0.0.1"} << "127.0.0.1: expected HOST:PORT";
    QTest::newRow("port too big") << QStringList{"--udp", "127.0.0.1:65536"}
                                  << "127.0.0.1:65536: port must be a number from 0 to 65535";
    QTest::newRow("two fronts") << QStringList{"--udp", "127.0.0.1:0", "--pty"}
                                << "--udp, --tcp and --pty exclude each other";
    QTest::newRow("share above 100") << QStringList{"--drop-tx", "101"}
                                     << "--drop-tx 101: expected a number from 0 to 100";
    QTest::newRow("negative delay") << QStringList{"--delay-ms", "-5"}
                                    << "--delay-ms -5: expected a number from 0 to 600000";
    QTest::newRow("empty password") << QStringList{"--password", ""} << "--password must not be empty";
    QTest::newRow("bad module") << QStringList{"--module", "63"}
                                << "--module 63: expected TYPE:SERIAL:VERSION";
    QTest::newRow("unknown option") << QStringList{"--bogus"} << "Unknown option 'bogus'.";
}

void TestSimOptions::commandLineRejected()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    SimOptions options;
    QVERIFY(!options.parse(QStringList{"sim"} + arguments));
    QCOMPARE(options.error, message);
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "tst_simoptions.moc"
