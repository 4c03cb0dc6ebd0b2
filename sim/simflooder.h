#ifndef SIMFLOODER_H
#define SIMFLOODER_H

#include <QHostAddress>
#include <QtGlobal>

class QUdpSocket;

// A peer gone wild, for stress tests of the PC side: sends valid frames, noise and oversize
// datagrams to one address in bursts as fast as the socket takes them.
class SimFlooder
{
public:
    // Spreads `bytes` bytes over `ms` milliseconds and stops at whichever limit comes first;
    // returns the bytes the socket accepted. Frames go to PC mode `pcMode` and ask for an acknowledgement.
    static qint64 flood(QUdpSocket &socket, const QHostAddress &address, quint16 port, int pcMode,
                        qint64 bytes, int ms);
};

#endif // SIMFLOODER_H
