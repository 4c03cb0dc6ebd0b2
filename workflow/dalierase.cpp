#include "dalierase.h"

#include "busrequest.h"
#include "mytreatcompc.h"

namespace {

// COSETDATA parameter 0x3F, value 0xF1: the module erases the short addresses and groups of all
// DALI slaves on its line.
const QByteArray eraseShortData = QByteArrayLiteral("\x3F\xF1");

} // namespace

DaliErase::DaliErase(MyTreatComPc *manager, quint32 moduleId, const QString &label, QObject *parent)
    : QObject(parent)
    , manager(manager)
    , moduleId(moduleId)
    , label(label)
{}

void DaliErase::start()
{
    if (running)
        return;
    running = true;
    emit progress(QStringLiteral("Erase short address of all DALI slaves is taking 2sec to complete."));
    if (!manager) {
        finish(SendFailed, QLatin1String(sendFailedText));
        return;
    }
    const AnswerPolicy policy = awaitAck(*manager);
    const MyFrameDec request =
        busRequest(*manager, rxModeAddressed, moduleId, commandCosetdata, eraseShortData);
    if (manager->sendFrame(request, policy) != 0) {
        finish(SendFailed, QLatin1String(sendFailedText));
        return;
    }
    // While the request waits, only the addressee's answers pass the manager's answer test.
    connect(manager, &MyTreatComPc::newFrameReceived, this, [this](const MyFrameDec &frame) {
        if (frame.command() == commandCoackn)
            finish(Accepted,
                   label + QStringLiteral(" accepted the erase of its DALI short addresses and groups."));
    });
    const int attempts = policy.retries + 1;
    // Only the drop of this request; a failed acknowledgement of ours does not end the wait.
    connect(manager, &MyTreatComPc::sendTimeout, this, [this, attempts, request](const MyFrameDec &dropped) {
        if (dropped.text() != request.text())
            return;
        finish(NotAcknowledged,
               label + QStringLiteral(" did not acknowledge the erase after %1 attempts. Nothing "
                                      "is known to be erased.")
                           .arg(attempts));
    });
    connect(manager, &MyTreatComPc::linkConnectionChanged, this, [this](bool connected) {
        if (!connected)
            finish(LinkLost, QStringLiteral("Not connected to ") + manager->urlString() +
                                 QStringLiteral(": the link was lost before ") + label +
                                 QStringLiteral(" acknowledged the erase. Nothing is known to be erased."));
    });
    connect(manager, &QObject::destroyed, this,
            [this] { finish(Cancelled, QStringLiteral("The connection was closed.")); });
}

void DaliErase::stop(const QString &reason)
{
    finish(Cancelled, reason);
}

void DaliErase::finish(Outcome outcome, const QString &message)
{
    if (!running)
        return;
    running = false;
    if (manager)
        disconnect(manager, nullptr, this, nullptr);
    emit finished(outcome, message);
}

QString DaliErase::outcomeName(Outcome outcome)
{
    switch (outcome) {
    case Accepted:
        return QStringLiteral("accepted");
    case SendFailed:
        return QStringLiteral("send-failed");
    case NotAcknowledged:
        return QStringLiteral("not-acknowledged");
    case LinkLost:
        return QStringLiteral("link-lost");
    case Cancelled:
        break;
    }
    return QStringLiteral("cancelled");
}
