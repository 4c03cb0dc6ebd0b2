#ifndef FRAMETEXT_H
#define FRAMETEXT_H

#include <QByteArray>
#include <QString>

class MyFrameDec;

// Bus traffic in readable form, one line per unit; the toolbox's trace and the simulator's frame log
// both write it:
//   PC->BUS COSETDATA     1 -> 3:3F12D687  t1 ack  data 3F F1  <02>BD0D3F12D6871F3FF1C7<03>
// command name, sender -> receiver (mode, and the address where mode 3 carries one), frame type and
// acknowledgement request, payload in hex, and the wire text with control bytes as <02>.
class FrameText
{
public:
    enum Direction { FromPc, ToPc };

    static QString arrow(Direction direction);
    // A decoded frame; note says what became of it.
    static QString frame(const MyFrameDec &frame, const QByteArray &wire, const QString &note = QString());
    // Bytes that are no valid frame: with the frame's fields when only its checksum is wrong.
    static QString rejected(const QByteArray &wire, const QString &fate);
    // Anything else under a label of its own: a session line, dropped bytes.
    static QString unit(const QString &label, const QByteArray &bytes, const QString &note = QString());
    // Control and other non-printing bytes as <02>, so that a unit stays on one line.
    static QString printable(const QByteArray &bytes);
};

#endif // FRAMETEXT_H
