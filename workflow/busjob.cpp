#include "busjob.h"

#include "buscodes.h"
#include "mytreatcompc.h"

BusJob::BusJob(MyTreatComPc *manager, QObject *parent)
    : QObject(parent)
    , jobManager(manager)
{}

void BusJob::start()
{
    if (running)
        return;
    running = true;
    emit progress(startLine());
    if (!jobManager) {
        emitResult(SendFailed, QLatin1String(sendFailedText));
        return;
    }
    // The addressee acknowledges the request with COACKN; the manager resends it until then.
    AnswerPolicy policy = jobManager->policyDefault;
    policy.answerCommand = commandCoackn;
    sentRequest = request();
    if (jobManager->sendFrame(sentRequest, policy) != 0) {
        emitResult(SendFailed, QLatin1String(sendFailedText));
        return;
    }
    // Only the drop of this request ends the job; the failed send of an acknowledgement of ours does
    // not.
    connect(jobManager, &MyTreatComPc::sendTimeout, this, [this](const MyFrameDec &dropped) {
        if (dropped.text() == sentRequest.text())
            requestDropped();
    });
    connect(jobManager, &MyTreatComPc::linkConnectionChanged, this, [this](bool connected) {
        if (!connected)
            emitResult(LinkLost, linkLostText());
    });
    connect(jobManager, &QObject::destroyed, this,
            [this] { emitResult(Cancelled, QStringLiteral("The connection was closed.")); });
    listen();
}

void BusJob::stop(const QString &reason)
{
    emitResult(Cancelled, reason);
}

void BusJob::ending(Outcome outcome, const QString &text)
{
    Q_UNUSED(outcome)
    Q_UNUSED(text)
}

void BusJob::emitResult(Outcome outcome, const QString &text)
{
    if (!running)
        return;
    running = false;
    if (jobManager)
        disconnect(jobManager, nullptr, this, nullptr);
    jobOutcome = outcome;
    jobText = text;
    ending(outcome, text);
    emit result(this);
}

QString BusJob::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Completed:
        return QStringLiteral("completed");
    case Accepted:
        return QStringLiteral("accepted");
    case SendFailed:
        return QStringLiteral("send-failed");
    case NoAnswer:
        return QStringLiteral("no-answer");
    case NotAcknowledged:
        return QStringLiteral("not-acknowledged");
    case Incomplete:
        return QStringLiteral("incomplete");
    case LinkLost:
        return QStringLiteral("link-lost");
    case NotConnected:
        return QStringLiteral("not-connected");
    case Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}
