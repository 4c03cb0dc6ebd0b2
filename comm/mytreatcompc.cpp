#include "mytreatcompc.h"

#include "buscodes.h"
#include "commlog.h"
#include "endpoint.h"
#include "mydiftdi.h"
#include "shownurl.h"

#include <QDebug>
#include <QMetaType>
#include <QUrl>

#include <algorithm>
#include <limits>

namespace {

constexpr int timeoutUnitMs = 50;
// A request and its COACKN need their time on the bus; a shorter wait would resend frames whose
// answer is still on its way.
constexpr int minRetryIntervalMs = 120;

// Taken as modeUsbPc, with a debug line each time it is asked for.
constexpr int modeUnknownScheme = 0;

// The address mode of this PC on the bus behind the endpoint url.
int modeOfUrl(const QString &url)
{
    const QUrl parsed(url);
    if (!parsed.isValid())
        return modeUsbPc;
    const Endpoint endpoint(parsed);
    if (endpoint.kind() == Endpoint::Unknown)
        return modeUnknownScheme;
    return endpoint.isEthernet() ? modeEthernetPc : modeUsbPc;
}

int retryIntervalMs(qint32 timeout)
{
    const qint64 ms = qint64(timeout) * timeoutUnitMs;
    return int(std::clamp<qint64>(ms, minRetryIntervalMs, std::numeric_limits<int>::max()));
}

AnswerPolicy makePolicy(qint32 timeout, qint32 retries)
{
    AnswerPolicy policy;
    policy.timeout = timeout;
    policy.retries = retries;
    policy.answerCommand = commandCoackn;
    return policy;
}

} // namespace

MyTreatComPc::MyTreatComPc(const QString &url)
    : QObject(nullptr)
    , policyDefault(makePolicy(20, 4))
    , policyLong(makePolicy(40, 4))
    , policyVeryLong(makePolicy(100, 2))
    , retryTimer(nullptr)
{
    qRegisterMetaType<MyDiFtdi *>("MyDiFtdi*");

    link.reset(new MyDiFtdi());
    open(url);
    connect(link.get(), &MyDiFtdi::newFrame, this, &MyTreatComPc::on_newframe_cb);
    connect(link.get(), &MyDiFtdi::connectStateChanged, this, &MyTreatComPc::link_connectStateChanged_cb);
    connect(link.get(), &MyDiFtdi::traffic, this, &MyTreatComPc::traffic);

    fillErrorTexts();

    pendingPolicy.timeout = 1;
    pendingPolicy.retries = 4;

    retryTimer.setInterval(minRetryIntervalMs);
    connect(&retryTimer, &QTimer::timeout, this, &MyTreatComPc::retryTimerTimeoutCallBack);
}

MyTreatComPc::~MyTreatComPc()
{
    // Closing an Ethernet session processes events for a while; no frame, state change or retry
    // tick may reach a manager that is already going away.
    disconnect(link.get(), nullptr, nullptr, nullptr);
    retryTimer.stop();
    link->close();
    link.reset();
}

int MyTreatComPc::open(const QString &url)
{
    if (url.isEmpty())
        return -2;
    portUrl = url;
    // Asked for once or twice per received frame: parsed here, not there.
    portUrlMode = modeOfUrl(url);
    return link->open(url);
}

int MyTreatComPc::reconnect()
{
    if (link->isConnected())
        return 0;
    open(QString(portUrl));
    if (link->isConnected())
        return 0;
    qCDebug(lcComm).noquote() << "reconnect" << shownUrl(portUrl) << "failed";
    return -1;
}

bool MyTreatComPc::isConnected() const
{
    return link->isConnected();
}

QString MyTreatComPc::urlString() const
{
    return shownUrl(portUrl);
}

QString MyTreatComPc::openFailureReason() const
{
    if (link->isConnected())
        return QString();
    return portUrl.isEmpty() ? QStringLiteral("no endpoint given") : link->openFailureReason();
}

int MyTreatComPc::openError() const
{
    if (link->isConnected())
        return MyDiFtdi::OpenNoError;
    return portUrl.isEmpty() ? MyDiFtdi::OpenInvalidUrl : link->openError();
}

void MyTreatComPc::checkLink()
{
    link->sendHello();
}

void MyTreatComPc::setEthWaits(int openMs, int logoutMs)
{
    link->setEthWaits(openMs, logoutMs);
}

int MyTreatComPc::pcMode() const
{
    if (portUrlMode == modeUnknownScheme) {
        qCDebug(lcComm) << "unknown scheme ??";
        return modeUsbPc;
    }
    return portUrlMode;
}

int MyTreatComPc::sendFrame(const MyFrameDec &frame, const AnswerPolicy &policy)
{
    if (!link->isConnected()) {
        qCDebug(lcComm) << "ErrorTaskComFail disconnected";
        emit sendTimeout(frame);
        return 1;
    }
    const QByteArray text = frame.text();
    if (link->write(text) != text.size()) {
        qCDebug(lcComm) << "Error sending, retry";
        if (!link->isConnected()) {
            qCDebug(lcComm) << "ErrorTaskComFail disconnected";
            emit sendTimeout(frame);
            return 1;
        }
        const int count = link->write(text);
        if (count != text.size()) {
            qCDebug(lcComm) << "ErrorTaskComFail, number of bytes mismatches : " << count
                            << " != " << text.size();
            emit sendTimeout(frame);
            return 1;
        }
    }
    if (policy.timeout == 0)
        return 0;
    expectAnswer(MyFrameDec(frame), AnswerPolicy(policy));
    return 0;
}

void MyTreatComPc::expectAnswer(const MyFrameDec &frame, const AnswerPolicy &policy)
{
    if (frame.isValid() && policy.timeout != 0 && policy.retries != 0) {
        pendingFrame = frame;
        pendingPolicy = policy;
        retryCount = 0;
        retryTimer.setInterval(retryIntervalMs(policy.timeout));
        retryTimer.start();
        return;
    }
    if (retryTimer.isActive())
        retryTimer.stop();
}

void MyTreatComPc::expectAnswer(const MyFrameDec &frame)
{
    expectAnswer(frame, policyDefault);
}

void MyTreatComPc::stopRetry()
{
    retryTimer.stop();
}

void MyTreatComPc::retryTimerTimeoutCallBack()
{
    // An int count cannot wrap within any retries value, so every wait ends in a drop.
    ++retryCount;
    if (retryCount > pendingPolicy.retries) {
        qCDebug(lcComm) << "retryTimerTimeoutCallBack: drop frame";
        retryTimer.stop();
        emit sendTimeout(pendingFrame);
        return;
    }
    const QByteArray text = pendingFrame.text();
    qCDebug(lcComm).noquote() << "retryTimerTimeoutCallBack: retry" << text;
    if (link->write(text) == text.size())
        return;
    qCDebug(lcComm) << "Error sending, retry";
    if (!link->isConnected()) {
        qCDebug(lcComm) << "ErrorTaskComFail disconnected";
        return;
    }
    const int count = link->write(text);
    if (count != text.size())
        qCDebug(lcComm) << "retry: Unable to send, number of bytes mismatches : " << count
                        << " != " << text.size();
}

// Lets the window follow a master that was unplugged or a session the module ended. A request
// still waiting for its answer on a link that went down can no longer get one: it ends now, as a
// drop after the last retry would, instead of being written into nothing for another few seconds.
void MyTreatComPc::link_connectStateChanged_cb(bool connected)
{
    emit linkConnectionChanged(connected);
    if (connected || !retryTimer.isActive())
        return;
    retryTimer.stop();
    qCDebug(lcComm) << "ErrorTaskComFail disconnected";
    emit sendTimeout(pendingFrame);
}

bool MyTreatComPc::isAnswer(const MyFrameDec &frame)
{
    // Nothing awaits an acknowledgement: before the first send, or while an acknowledgement is pending.
    if (pendingFrame.ackRequest() == 0)
        return true;
    if (frame.rxMode() != pcMode())
        return false;
    if (frame.txMode() != pendingFrame.rxMode() || frame.addrSize() != pendingFrame.addrSize())
        return false;
    if (pendingFrame.rxMode() == modeAddressed) {
        if (pendingFrame.addrSize() == addrSize16) {
            if (frame.txAddr16() != pendingFrame.rxAddr16())
                return false;
        } else if (pendingFrame.addrSize() == addrSize32) {
            if (frame.txAddr32() != pendingFrame.rxAddr32())
                return false;
        } else {
            return false;
        }
    }
    // The addressee is still working on the request: it passes, but the wait goes on.
    if (frame.command() == commandConack)
        return true;
    if (frame.command() != pendingPolicy.answerCommand)
        return false;
    const QByteArray &prefix = pendingPolicy.answerPrefix;
    if (!prefix.isEmpty()) {
        const QByteArray data = frame.data();
        const int offset = pendingPolicy.answerOffset;
        if (offset < 0 || offset > data.size() || !data.mid(offset).startsWith(prefix))
            return false;
    }
    retryTimer.stop();
    return true;
}

void MyTreatComPc::on_newframe_cb(MyDiFtdi *port)
{
    while (port->itemCount() > 0) {
        const RxItem item = port->takeItem();
        if (item.kind != RxBusFrame) {
            qCDebug(lcComm) << "Drop non bus data";
            continue;
        }
        const MyFrameDec frame(item.data, false);
        if (!frame.isValid()) {
            qCDebug(lcComm) << "Unable to decode frame. abort";
            continue;
        }
        if (isAnswer(frame))
            emit newFrameReceived(frame);
        sendAck(frame);
        emit allNewFrame(frame);
    }
}

bool MyTreatComPc::sendAck(const MyFrameDec &frame)
{
    if (frame.ackRequest() == 0 || frame.frameType() != frameTypeRequest || frame.rxMode() != pcMode())
        return false;

    MyFrameDec ack;
    ack.setFrame(frameTypeRequest, 0, frame.addrSize(), frameClassAck, frame.rxMode(), frame.txMode(),
                 frame.rxAddr(), frame.txAddr(), commandCoackn, QByteArray());

    qCDebug(lcComm) << "Ack " << frame.rxMode() << ":" << frame.rxAddr() << " -> " << frame.txMode() << ":"
                    << frame.txAddr();
    qCDebug(lcComm).noquote().nospace() << "ASCII " << ack.text();
    qCDebug(lcComm).noquote().nospace() << "From " << frame.text();

    // An acknowledgement is never answered: awaiting one would resend it four times, end in a
    // false sendTimeout and take the place of a request still waiting for its own COACKN. Its
    // failure is logged and named in sendTimeout; the pending request's wait goes on.
    AnswerPolicy ackPolicy = policyDefault;
    ackPolicy.timeout = 0;
    if (sendFrame(ack, ackPolicy) != 0) {
        qCDebug(lcComm) << "Unable to send ack";
        return false;
    }
    return true;
}

void MyTreatComPc::fillErrorTexts()
{
    errorTexts.insert(Success, QStringLiteral("Succes"));
    errorTexts.insert(ErrorTaskComFail, QStringLiteral("Communication Failure, master not connected "));
    errorTexts.insert(ErrorTaskBusy, QStringLiteral("Error Task Busy"));
    errorTexts.insert(ErrorTaskNoAnswer, QStringLiteral("Error Task No Answer"));
    errorTexts.insert(ErrorTaskNoDataFrame, QStringLiteral("Error Task No Data Frame"));
    errorTexts.insert(ErrorTaskTimeout, QStringLiteral("Error Task Timeout"));
    errorTexts.insert(ErrorTaskFrame, QStringLiteral("Error Task Frame"));
    errorTexts.insert(ErrorTaskExit, QStringLiteral("Error Task Exit"));
    errorTexts.insert(ErrorTaskData, QStringLiteral("Error Task Data"));
    errorTexts.insert(ErrorTaskAddress, QStringLiteral("Error Task Address"));
    errorTexts.insert(ErrorTaskDataLength, QStringLiteral("Error Task Data Length"));
    errorTexts.insert(ErrorTaskUndefined, QStringLiteral("Error Task Undefined"));
    errorTexts.insert(ErrorAddressOutOfRange, tr("Error Address out of range"));
    errorTexts.insert(ErrorLenExceedMaxBufferLength, tr("Error len exceed max buffer length"));
    errorTexts.insert(ErrorWriting, tr("Writing error"));
}

QString MyTreatComPc::errorString(ComError code) const
{
    QString text = errorTexts.value(int(code));
    if (!text.isEmpty())
        return text;
    return QStringLiteral("unknown MyTreatComPc::ComError") + QString::number(int(code));
}

QString MyTreatComPc::lastErrorString() const
{
    return errorString(lastError);
}
