// The serial transport against a pseudo-terminal pair: the test plays the device on the master side.
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

const QByteArray frame = QByteArray::fromHex("02424430323331463003"); // STX BD0231F0 ETX

class TestSerial : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        char slavePath[256] = {};
        QCOMPARE(openpty(&master, &slave, slavePath, nullptr, nullptr), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        ports.reset(new FakeSerialPortsScope({{"TTYTEST0", QString::fromLocal8Bit(slavePath)}}));
    }

    void cleanup()
    {
        ports.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        ::close(slave), ::close(std::exchange(master, -1));
    }

    // The port is found by its name in any case. A hang-up ends the link and takes the half frame with
    // it: a new peer on the same name gets its first frame through whole.
    void peerClosesMidFrame()
    {
        MyDiFtdi link;
        QSignalSpy connectSpy(&link, &MyDiFtdi::connectStateChanged);
        QTest::ignoreMessage(QtDebugMsg, "Found match : TTYTEST0 @ 38400");
        QCOMPARE(link.open("serial://ttytest0?baud=38400"), 1);
        QCOMPARE(::write(master, frame.constData(), 5), ssize_t(5));
        QTRY_COMPARE(link.bufferedByteCount(), 5);
        ::close(std::exchange(master, -1)); // hang-up
        QTRY_COMPARE(connectSpy.size(), 2);
        cleanup(), init();
        QCOMPARE(link.open("serial://ttytest0?baud=38400"), 1);
        QCOMPARE(::write(master, frame.constData(), 10), ssize_t(10));
        QTRY_COMPARE(link.itemCount(), 1);
        QCOMPARE(link.takeItem().data, frame);
    }

    void refusals()
    {
        MyDiFtdi holder, second;
        LogCapture log;
        QCOMPARE(second.open("serial://ttytest0"), -1); // no query: not even looked up
        QCOMPARE(log.lines(), QStringList());
        QCOMPARE(holder.open("serial://TTYTEST0?baud=38400"), 1);
        QCOMPARE(second.open("serial://ttytest0?baud=38400"), -1); // held
        QCOMPARE(log.lines().size(), 3);
        QVERIFY(QRegularExpression("^Unable to open TTYTEST0 error [A-Za-z]+Error$")
                    .match(log.lines().last())
                    .hasMatch());
    }

private:
    int master = -1, slave = -1;
    std::unique_ptr<FakeSerialPortsScope> ports;
};

QTEST_GUILESS_MAIN(TestSerial)
#include "tst_serial.moc"
