#ifndef MYTREATCOMPC_H
#define MYTREATCOMPC_H

#include "answerpolicy.h"
#include "deferreddelete.h"
#include "myframedec.h"
#include "rxitem.h"

#include <QMap>
#include <QObject>
#include <QString>
#include <QTimer>

class MyDiFtdi;

// Frames travel by value in the signals below; declared so that a signal spy can record them.
Q_DECLARE_METATYPE(MyFrameDec)

// The communication manager: owns the device link of one endpoint, writes frames and waits for
// their answers under a retry timer, acknowledges received frames that ask for it, and hands
// decoded frames to the window.
class MyTreatComPc : public QObject
{
    Q_OBJECT

public:
    enum ComError : int {
        Success = 0,
        ErrorTaskComFail = 1,
        ErrorTaskBusy = 2,
        ErrorTaskNoAnswer = 3,
        ErrorTaskNoDataFrame = 4,
        ErrorTaskTimeout = 5,
        ErrorTaskFrame = 6,
        ErrorTaskExit = 7,
        ErrorTaskData = 8,
        ErrorTaskAddress = 9,
        ErrorTaskDataLength = 10,
        ErrorTaskUndefined = 11,
        ErrorAddressOutOfRange = 12,
        ErrorLenExceedMaxBufferLength = 13,
        ErrorWriting = 14,
    };

    explicit MyTreatComPc(const QString &url);
    ~MyTreatComPc() override;

    int open(const QString &url);
    int reconnect();
    bool isConnected() const;
    // The endpoint as shown to a person: without its password.
    QString urlString() const;
    // Why the last open failed, in a few words ("connection refused"); empty after a successful one.
    QString openFailureReason() const;
    // The same as a code (MyDiFtdi::OpenError), for a caller that chooses its own words.
    int openError() const;
    int pcMode() const;
    // Makes the link show whether its peer is still there (an Ethernet module's keep-alive now).
    void checkLink();
    // The Ethernet open and logout waits of this manager's link (see MyDiFtdi::setEthWaits).
    void setEthWaits(int openMs, int logoutMs);

    int sendFrame(const MyFrameDec &frame, const AnswerPolicy &policy);
    void expectAnswer(const MyFrameDec &frame, const AnswerPolicy &policy);
    void expectAnswer(const MyFrameDec &frame);
    void stopRetry();

    QString errorString(ComError code) const;
    QString lastErrorString() const;

    AnswerPolicy policyDefault;
    AnswerPolicy policyLong;
    AnswerPolicy policyVeryLong;

signals:
    void newFrameReceived(MyFrameDec frame);
    void allNewFrame(MyFrameDec frame);
    // A frame is given up: its send failed (frame: the one not written, an acknowledgement among
    // them), or the awaited answer did not come after the last retry or before the link went down
    // (frame: the pending frame). A job ends only on the drop of its own request.
    void sendTimeout(MyFrameDec frame);
    // The link's connection changed (USB master unplugged, module ended the session, ...).
    void linkConnectionChanged(bool connected);
    // Every unit crossing the link, for the traffic trace (see MyDiFtdi::traffic).
    void traffic(bool sent, RxItemKind kind, const QByteArray &bytes);

private slots:
    void on_newframe_cb(MyDiFtdi *port);
    void retryTimerTimeoutCallBack();
    void link_connectStateChanged_cb(bool connected);

private:
    bool isAnswer(const MyFrameDec &frame);
    bool sendAck(const MyFrameDec &frame);
    void fillErrorTexts();

    DeferredPtr<MyDiFtdi> link;
    QString portUrl;
    int portUrlMode = 2; // pcMode() of portUrl, 2 while it is empty
    ComError lastError = Success;
    MyFrameDec pendingFrame;
    AnswerPolicy pendingPolicy;
    int retryCount = 0; // wide enough that no retries value makes it wrap
    QTimer retryTimer;
    QMap<int, QString> errorTexts;
};

#endif // MYTREATCOMPC_H
