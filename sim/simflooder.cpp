#include "simflooder.h"

#include "buscodes.h"
#include "myframedec.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QThread>
#include <QUdpSocket>
#include <QVector>

namespace {

// Just under the largest UDP payload over IPv4 (65507).
constexpr int oversizeBytes = 65000;
constexpr int framesPerBatch = 60;
constexpr int batchesPerCycle = 10; // about a tenth of the bytes are valid frames
constexpr int maxNoiseBytes = 1500;

QByteArray validFrames(int pcMode)
{
    MyFrameDec frame;
    // COSETDATA: a command the PC only acknowledges.
    frame.setFrame(frameTypeRequest, ackRequested, addrSize32, frameClassRequest, modeMaster, pcMode, 0, 0,
                   commandCosetdata, QByteArray("\x3F\x01", 2));
    return frame.text().repeated(framesPerBatch);
}

QByteArray noise(QRandomGenerator &random, int size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random.bounded(256));
    return bytes;
}

// A frame start whose ETX never comes: only hexadecimal digits after the STX.
QByteArray endlessFrameStart(QRandomGenerator &random)
{
    static const char digits[] = "0123456789ABCDEF";
    QByteArray bytes(oversizeBytes, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = digits[random.bounded(16)];
    bytes[0] = 0x02;
    return bytes;
}

} // namespace

SimFlooder::Sent SimFlooder::flood(QUdpSocket &socket, const QHostAddress &address, quint16 port, int pcMode,
                                   qint64 bytes, int ms, const std::function<void()> &betweenBursts)
{
    QRandomGenerator random(7);
    const QByteArray frames = validFrames(pcMode);
    const QByteArray split = frames.left(frames.size() / 2 + 3);
    const QByteArray noiseBlock = noise(random, 2 * oversizeBytes);
    const QByteArray frameStart = endlessFrameStart(random);
    const auto noiseOf = [&](int size) { return noiseBlock.mid(int(random.bounded(oversizeBytes)), size); };
    // First half: batches of frames, noise, half a batch, an endless frame start, oversize noise,
    // then the other half, which meets its first half only across the noise in between (empty
    // entries stand for noise). Second half: one frame start that never ends, in oversize datagrams.
    QVector<QByteArray> cycle(batchesPerCycle, frames);
    cycle << QByteArray() << split << frameStart << QByteArray() << frames.mid(split.size());
    // A frame is counted where it goes whole: the one cut in two meets its first half only across
    // noise, and the PC rightly drops both halves.
    const QByteArray oneFrame = frames.left(frames.size() / framesPerBatch);
    QVector<qint64> framesIn;
    for (const QByteArray &datagram : qAsConst(cycle))
        framesIn << qint64(datagram.count(oneFrame));
    const QByteArray frameRest = frameStart.mid(1);
    QElapsedTimer clock;
    clock.start();
    Sent sent;
    for (int next = 0; sent.bytes < bytes && clock.elapsed() < ms; ++next) {
        // Spread over the whole time, each burst as fast as the socket takes it.
        while (sent.bytes > bytes * clock.elapsed() / ms) {
            QThread::usleep(500);
            betweenBursts();
        }
        const int slot = next % cycle.size();
        const bool firstHalf = sent.bytes < bytes / 2;
        QByteArray datagram = firstHalf ? cycle.at(slot) : frameRest;
        if (datagram.isEmpty())
            datagram =
                noiseOf(slot == batchesPerCycle ? 1 + int(random.bounded(maxNoiseBytes)) : oversizeBytes);
        const qint64 written = socket.writeDatagram(datagram, address, port);
        if (written > 0) {
            sent.bytes += written;
            sent.frames += firstHalf ? framesIn.at(slot) : 0;
        }
        betweenBursts();
    }
    return sent;
}
