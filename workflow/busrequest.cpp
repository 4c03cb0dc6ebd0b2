#include "busrequest.h"

#include "mytreatcompc.h"

namespace {

constexpr int requestFrameType = 1;
constexpr int ackRequested = 0x04;
constexpr int addrSize32 = 0x18;
constexpr int requestFrameClass = 0x20;

} // namespace

MyFrameDec busRequest(const MyTreatComPc &manager, int rxMode, quint32 rxAddr, int command,
                      const QByteArray &data)
{
    MyFrameDec request;
    request.setFrame(requestFrameType, ackRequested, addrSize32, requestFrameClass, manager.pcMode(), rxMode,
                     0, rxAddr, command, data);
    return request;
}

AnswerPolicy awaitAck(const MyTreatComPc &manager)
{
    AnswerPolicy policy = manager.policyDefault;
    policy.answerCommand = commandCoackn;
    return policy;
}
