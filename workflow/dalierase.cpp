#include "dalierase.h"

#include "buscodes.h"
#include "busrequest.h"
#include "mytreatcompc.h"

DaliErase::DaliErase(MyTreatComPc *manager, quint32 moduleId, const QString &label, QObject *parent)
    : BusJob(manager, parent)
    , moduleId(moduleId)
    , label(label)
{}

QString DaliErase::startLine() const
{
    return QStringLiteral("Erase short address of all DALI slaves is taking 2sec to complete.");
}

MyFrameDec DaliErase::request() const
{
    return busRequest(*manager(), modeAddressed, moduleId, commandCosetdata, eraseShortAddressesData());
}

void DaliErase::listen()
{
    // While the request waits, only the addressee's answers pass the manager's answer test.
    connect(manager(), &MyTreatComPc::newFrameReceived, this, [this](const MyFrameDec &frame) {
        if (frame.command() == commandCoackn)
            emitResult(Accepted,
                       label + QStringLiteral(" accepted the erase of its DALI short addresses and groups."));
    });
}

void DaliErase::requestDropped()
{
    emitResult(NotAcknowledged, label + QStringLiteral(" did not acknowledge the erase after %1 attempts. "
                                                       "Nothing is known to be erased.")
                                            .arg(manager()->policyDefault.retries + 1));
}

QString DaliErase::linkLostText() const
{
    return QStringLiteral("Not connected to ") + manager()->urlString() +
           QStringLiteral(": the link was lost before ") + label +
           QStringLiteral(" acknowledged the erase. Nothing is known to be erased.");
}
