#include "busrequest.h"

#include "buscodes.h"
#include "mytreatcompc.h"

MyFrameDec busRequest(const MyTreatComPc &manager, int rxMode, quint32 rxAddr, int command,
                      const QByteArray &data)
{
    MyFrameDec request;
    request.setFrame(frameTypeRequest, ackRequested, addrSize32, frameClassRequest, manager.pcMode(), rxMode,
                     0, rxAddr, command, data);
    return request;
}
