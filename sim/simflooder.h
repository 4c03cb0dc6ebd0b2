#ifndef SIMFLOODER_H
#define SIMFLOODER_H

#include <QHostAddress>
#include <QtGlobal>

#include <functional>

class QUdpSocket;

// A peer gone wild, for stress tests of the PC side: sends valid frames, noise and oversize
// datagrams to one address in bursts as fast as the socket takes them.
class SimFlooder
{
public:
    struct Sent
    {
        qint64 bytes = 0;
        qint64 frames = 0; // whole frames in the datagrams the socket accepted, each asking for an ack
    };

    // Spreads `bytes` bytes over `ms` milliseconds and stops at whichever limit comes first. Frames
    // go to PC mode `pcMode` and ask for an acknowledgement. The flood holds the event loop, so
    // `betweenBursts` is called after each datagram and each pause to take what came back meanwhile.
    static Sent flood(QUdpSocket &socket, const QHostAddress &address, quint16 port, int pcMode, qint64 bytes,
                      int ms, const std::function<void()> &betweenBursts);
};

#endif // SIMFLOODER_H
