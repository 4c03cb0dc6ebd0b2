// The serial transport against a pseudo-terminal pair: the test plays the device on the master side.
#include "fakeserialportsscope.h"
#include "logcapture.h"
#include "mydiftdi.h"

#include <QtTest>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

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
