#ifndef SIMSTREAMCUTTER_H
#define SIMSTREAMCUTTER_H

#include <QByteArray>

// Cuts what the PC writes into bus frames (STX .. ETX) and, on the Ethernet session, the session
// words LOGIN, HELLO and LOGOUT, which travel without a terminator. Bytes may arrive in any pieces.
class SimStreamCutter
{
public:
    enum Kind { Frame, Login, Hello, Logout, Noise };
    struct Item
    {
        Kind kind = Noise;
        QByteArray data;
    };

    // Past this, a frame start that never ends is given up as noise.
    static constexpr int bufferLimit = 4096;

    explicit SimStreamCutter(bool sessionWords)
        : sessionWords(sessionWords)
    {}

    void append(const QByteArray &bytes) { buffer.append(bytes); }
    // The next complete item; false when what is left needs more bytes.
    bool take(Item &item);
    // What is left, taken as complete: at the end of a datagram, or when a stream went quiet after
    // a bare "LOGIN".
    bool takeRest(Item &item);
    QByteArray pending() const { return buffer; }

private:
    bool takeFrame(Item &item);
    bool takeWord(Item &item, bool &needMore);
    void cut(Kind kind, int length, Item &item);
    void skipSeparators();

    QByteArray buffer;
    bool sessionWords;
};

#endif // SIMSTREAMCUTTER_H
