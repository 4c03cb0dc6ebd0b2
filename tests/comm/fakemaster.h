#ifndef FAKEMASTER_H
#define FAKEMASTER_H

#include "answerpolicy.h"
#include "myframedec.h"
#include "mytreatcompc.h"
#include "timedfaked2xxdriver.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QMetaType>
#include <QString>

#include <memory>

// Lets QSignalSpy keep the frames of newFrameReceived and allNewFrame.
Q_DECLARE_METATYPE(MyFrameDec)

// The bus master (KVMX) on USB as discovery names it, and the fake driver's id for it.
inline const QString masterUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");
// The vtap device's URL; no such device is attached in these tests.
inline const QString absentDeviceUrl = QStringLiteral("usb://localhost?vid=1027&pid=61265");

// Transport form of a binary frame given as its hex digits: STX, the digits, ETX.
inline QByteArray transport(const char *hexDigits)
{
    return '\x02' + QByteArray(hexDigits) + '\x03';
}

inline AnswerPolicy awaitAck(qint32 timeout, qint32 retries)
{
    AnswerPolicy policy;
    policy.timeout = timeout;
    policy.retries = retries;
    policy.answerCommand = 1;
    return policy;
}

// One bus master behind the fake D2XX driver.
class FakeMaster
{
public:
    FakeMaster()
        : index(scope.driver().addDevice())
    {}

    TimedFakeD2xxDriver &driver() { return scope.driver(); }
    FakeUsbDevice &device() { return scope.driver().device(index); }
    const QByteArray &written() { return device().written; }
    // The master sends these bytes; the link's 50 ms poll picks them up.
    void send(const QByteArray &bytes) { device().rxWaiting.append(bytes); }
    void unplug() { scope.driver().unplug(index); }

private:
    TimedFakeD2xxScope scope;
    int index;
};

// A manager on the fake master, torn down in the order the driver needs: the manager closes the
// device before the fake driver goes, and the link's deferred deletion runs before either.
struct MasterBench
{
    std::unique_ptr<FakeMaster> master = std::make_unique<FakeMaster>();
    std::unique_ptr<MyTreatComPc> manager = std::make_unique<MyTreatComPc>(masterUrl);

    MasterBench() { qRegisterMetaType<MyFrameDec>(); }

    ~MasterBench()
    {
        manager.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        master.reset();
    }
};

#endif // FAKEMASTER_H
