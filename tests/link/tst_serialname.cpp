// A serial port named by a user although the system's list lacks it, in the link and in Connect to...
// On Windows a COM port's name is opened by that name (an adapter missing from the list still
// works); elsewhere an unlisted port is given by its device path, and a bare name is refused.
// This suite needs no terminal, so it also runs in the Windows build.
#include "connectdialog.h"
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

#ifdef Q_OS_WIN
constexpr bool onWindows = true;
#else
constexpr bool onWindows = false;
#endif

class TestSerialName : public QObject
{
    Q_OBJECT

private slots:
    void unlistedName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("comPort"); // opened by name on Windows
        // The name as messages show it, when opened by name.
        QTest::addColumn<QString>("shown");
        QTest::newRow("COM5") << "COM5" << true << "COM5";
        // Typed in lower case, shown as Windows spells it; from COM10 on only \\.\COMn opens it.
        QTest::newRow("com12") << "com12" << true << "COM12";
        QTest::newRow("COM256") << "COM256" << true << "COM256";
        QTest::newRow("COM0") << "COM0" << false << "";
        QTest::newRow("COM257") << "COM257" << false << "";
        QTest::newRow("COM5 with a suffix") << "COM5x" << false << "";
        QTest::newRow("other device name") << "LPT1" << false << "";
    }

    void unlistedName()
    {
        QFETCH(QString, typed);
        QFETCH(bool, comPort);
        QFETCH(QString, shown);
        const bool byName = onWindows && comPort;
        const QString hint = onWindows ? QStringLiteral("Type a COM port's name instead (e.g. COM3).")
                                       : QStringLiteral("Type its device path instead (e.g. /dev/ttyUSB0).");
        SerialPortDescription other; // the list shows another port
        other.portName = QStringLiteral("COM3");
        other.systemLocation = QStringLiteral("\\\\.\\COM3");
        const FakeSerialPortsScope ports({other});

        // None of these ports exists here: opened by name, the open itself fails.
        MyDiFtdi link;
        LogCapture log;
        QCOMPARE(link.open(QStringLiteral("serial://%1?baud=38400").arg(typed)), -1);
        const QRegularExpression attempt(
            QStringLiteral("^Unable to open %1 error [A-Za-z]+Error$").arg(shown));
        if (byName) {
            QVERIFY2(!log.lines().filter(attempt).isEmpty(), qPrintable(log.lines().join('\n')));
            QVERIFY2(link.openFailureReason().contains(shown), qPrintable(link.openFailureReason()));
        } else {
            QCOMPARE(log.lines(), QStringList());
            QCOMPARE(link.openFailureReason(), QStringLiteral("no serial port %1").arg(typed.toLower()));
        }

        QString error;
        const QUrl url = ConnectDialog::serialUrl(typed, QStringLiteral("38400"), error);
        if (byName) {
            QCOMPARE(url.toString(), QStringLiteral("serial://%1?baud=38400").arg(typed.toLower()));
            QCOMPARE(error, QString());
        } else {
            QCOMPARE(url, QUrl());
            QCOMPARE(error, QStringLiteral("No serial port named \"%1\" is listed. %2").arg(typed, hint));
        }
    }
};

QTEST_GUILESS_MAIN(TestSerialName)
#include "tst_serialname.moc"
