#include "endpointarguments.h"
#include "portlabel.h"

#include <QtTest>

class tst_EndpointArguments : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QStringList>("accepted");
        QTest::addColumn<int>("rejected");
        QTest::newRow("every scheme, in order")
            << QStringList{"udp://127.0.0.1:17999", "usb://localhost?vid=1027&pid=61264", "tcp://h",
                           "serial://c"}
            << QStringList{"udp://127.0.0.1:17999", "usb://localhost?vid=1027&pid=61264", "tcp://h",
                           "serial://c"}
            << 0;
        QTest::newRow("unknown schemes")
            << QStringList{"http://h", "127.0.0.1", "UDP://h"} << QStringList{"udp://h"} << 2;
        QTest::newRow("invalid URLs") << QStringList{"udp://[::1", "udp://h:port", ""} << QStringList{} << 3;
    }

    void parse()
    {
        QFETCH(QStringList, arguments);
        const EndpointArguments parsed = parseEndpointArguments(arguments);
        QStringList accepted;
        for (const QUrl &url : parsed.endpoints)
            accepted << url.toString();
        QTEST(accepted, "accepted");
        QTEST(int(parsed.rejections.size()), "rejected");
    }

    void labels_data()
    {
        QTest::addColumn<QUrl>("url");
        QTest::addColumn<int>("moduleType");
        QTest::addColumn<QString>("label");
        QTest::newRow("master on USB") << QUrl("usb://localhost?vid=1027&pid=61264") << 0 << "USB (kvmx)";
        QTest::newRow("vtap on USB") << QUrl("usb://localhost?vid=1027&pid=61265") << 21 << "USB (vtap)";
        QTest::newRow("module on UDP") << QUrl("udp://192.168.1.20:17481") << 44 << "192.168.1.20 (ntx07)";
        QTest::newRow("module on TCP") << QUrl("tcp://10.0.0.5") << 44 << "10.0.0.5 (ntx07)";
        QTest::newRow("master on serial") << QUrl("serial://COM7?baud=38400") << 0 << "com7 (kvmx)";
    }

    // Command-line endpoints are labelled like discovered ones, with the module type of their kind.
    void labels()
    {
        QFETCH(QUrl, url);
        const PortEntry entry = endpointEntry(url);
        QTEST(entry.moduleType, "moduleType");
        QTEST(portLabel(entry), "label");
        QCOMPARE(listedAtTop(entry), entry.moduleType == 21);
        QCOMPARE(portLabel({QUrl("file:///dev/x"), 21}), QStringLiteral("file:///dev/x (vtap)"));
    }
};

QTEST_GUILESS_MAIN(tst_EndpointArguments)
#include "tst_endpointarguments.moc"
