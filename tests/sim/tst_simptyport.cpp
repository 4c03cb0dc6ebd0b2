#include "simbus.h"
#include "simptyport.h"

#include <QSerialPort>
#include <QtTest>

// The serial front as the PC sees it: a serial port on the pseudo-terminal's slave device.
class TestSimPtyPort : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }
    void scanOverSerialLine();
};

void TestSimPtyPort::scanOverSerialLine()
{
    SimBus bus({SimModule{63, 0x12D687, 3}}, SimFaults(), nullptr);
    bus.setScanMs(0);
    SimPtyPort pty(&bus, nullptr);
    QString error;
    QVERIFY2(pty.open(error), qPrintable(error));
    QVERIFY(pty.slavePath().startsWith("/dev/"));

    QSerialPort port;
    port.setPortName(pty.slavePath());
    port.setBaudRate(38400);
    QVERIFY2(port.open(QIODevice::ReadWrite), qPrintable(port.errorString()));
    // Noise first, then the scan request cut in two, as a serial line may deliver it.
    port.write("xx\x02"
               "BD02");
    QVERIFY(port.waitForBytesWritten(1000));
    QTest::qWait(30);
    port.write("31F0\x03");
    const QByteArray ackAndStart("\x02"
                                 "F9080102\x03\x02"
                                 "BD0863022A\x03");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += port.readAll()).size() >= ackAndStart.size(), 2000);
    QCOMPARE(received, ackAndStart);
    QVERIFY(bus.isScanning());
    port.close();
    pty.close();
    QVERIFY(!pty.isOpen());
}

QTEST_GUILESS_MAIN(TestSimPtyPort)
#include "tst_simptyport.moc"
