#include "frametext.h"

#include "buscodes.h"
#include "myframedec.h"

namespace {

constexpr int nameWidth = 13;

int addressWidth(int addrSize)
{
    switch (addrSize) {
    case addrSize8:
        return 2;
    case addrSize16:
        return 4;
    case addrSize32:
        return 8;
    default:
        return 0;
    }
}

constexpr char upperHex[] = "0123456789ABCDEF";

// Only mode 3 carries an address; the other modes are the address themselves.
QString endpoint(int mode, quint32 address, int addrSize)
{
    const int width = addressWidth(addrSize);
    if (mode != modeAddressed || width == 0)
        return QString::number(mode);
    // At least width digits; an address too wide for its field still shows whole.
    int digits = width;
    while (digits < 8 && (address >> (4 * digits)) != 0)
        ++digits;
    QString text = QString::number(mode) + QLatin1Char(':');
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
        text += QLatin1Char(upperHex[(address >> shift) & 0x0F]);
    return text;
}

QString hexByte(uchar value)
{
    const char pair[] = {upperHex[value >> 4], upperHex[value & 0x0F]};
    return QString::fromLatin1(pair, 2);
}

QString withNote(QString line, const QString &note)
{
    if (!note.isEmpty())
        line += QStringLiteral(" (%1)").arg(note);
    return line;
}

} // namespace

QString FrameText::arrow(Direction direction)
{
    return direction == FromPc ? QStringLiteral("PC->BUS") : QStringLiteral("BUS->PC");
}

QString FrameText::frame(const MyFrameDec &frame, const QByteArray &wire, const QString &note)
{
    const QByteArray data = frame.data();
    const QString payload =
        data.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(data.toHex(' ').toUpper());
    return withNote(QStringLiteral("%1 %2 -> %3  t%4%5  data %6  %7")
                        .arg(frame.commandName().leftJustified(nameWidth),
                             endpoint(frame.txMode(), frame.txAddr(), frame.addrSize()),
                             endpoint(frame.rxMode(), frame.rxAddr(), frame.addrSize()),
                             QString::number(frame.frameType()),
                             frame.ackRequest() != 0 ? QStringLiteral(" ack") : QString(), payload,
                             printable(wire)),
                    note);
}

QString FrameText::rejected(const QByteArray &wire, const QString &fate)
{
    const MyFrameDec decoded(wire, false);
    if (decoded.text().isEmpty())
        return unit(QStringLiteral("?"), wire, QStringLiteral("not a bus frame") + fate);
    const auto computed = uchar(decoded.rawFrame().back());
    return frame(
        decoded, wire,
        QStringLiteral("bad checksum %1, expected %2").arg(hexByte(decoded.rxChecksum()), hexByte(computed)) +
            fate);
}

QString FrameText::unit(const QString &label, const QByteArray &bytes, const QString &note)
{
    return withNote(label.leftJustified(nameWidth) + QLatin1Char(' ') + printable(bytes), note);
}

QString FrameText::printable(const QByteArray &bytes)
{
    const auto isPrintable = [](uchar value) { return value >= 0x20 && value < 0x7F; };
    int length = 0;
    for (const char byte : bytes)
        length += isPrintable(uchar(byte)) ? 1 : 4;
    QString text(length, Qt::Uninitialized);
    QChar *out = text.data();
    for (const char byte : bytes) {
        const auto value = uchar(byte);
        if (isPrintable(value)) {
            *out++ = QLatin1Char(byte);
        } else {
            *out++ = QLatin1Char('<');
            *out++ = QLatin1Char(upperHex[value >> 4]);
            *out++ = QLatin1Char(upperHex[value & 0x0F]);
            *out++ = QLatin1Char('>');
        }
    }
    return text;
}
