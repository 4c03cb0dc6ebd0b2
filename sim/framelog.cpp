#include "framelog.h"

#include "myframedec.h"

#include <QFileDevice>
#include <QIODevice>

namespace {

const char *arrow(FrameLog::Direction direction)
{
    return direction == FrameLog::FromPc ? "PC->BUS" : "BUS->PC";
}

int addressWidth(int addrSize)
{
    switch (addrSize) {
    case 0x08:
        return 2;
    case 0x10:
        return 4;
    case 0x18:
        return 8;
    default:
        return 0;
    }
}

// Only mode 3 carries an address; the other modes are the address themselves.
QString endpoint(int mode, quint32 address, int addrSize)
{
    const int width = addressWidth(addrSize);
    if (mode != 3 || width == 0)
        return QString::number(mode);
    return QStringLiteral("%1:%2").arg(mode).arg(address, width, 16, QLatin1Char('0')).toUpper();
}

QString payload(const QByteArray &data)
{
    return data.isEmpty() ? QStringLiteral("-") : QString::fromLatin1(data.toHex(' ').toUpper());
}

} // namespace

FrameLog::FrameLog(QIODevice *out)
    : out(out)
{
    clock.start();
}

void FrameLog::plain(const QString &line)
{
    write(line);
}

void FrameLog::event(const QString &line)
{
    write(stamp() + line);
}

void FrameLog::frame(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
                     const QString &note)
{
    write(stamp() + frameText(direction, frame, wire, note));
}

void FrameLog::undecodable(Direction direction, const QByteArray &wire, const QString &note)
{
    write(stamp() + QStringLiteral("%1 %2 %3 (%4)")
                        .arg(QLatin1String(arrow(direction)), QStringLiteral("?").leftJustified(13),
                             printable(wire), note));
}

void FrameLog::session(const QString &peer, const QString &what)
{
    write(stamp() + QStringLiteral("SESSION %1 %2").arg(peer, what));
}

QString FrameLog::frameText(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
                            const QString &note)
{
    QString line = QStringLiteral("%1 %2 %3 -> %4  data %5  %6")
                       .arg(QLatin1String(arrow(direction)), frame.commandName().leftJustified(13),
                            endpoint(frame.txMode(), frame.txAddr(), frame.addrSize()),
                            endpoint(frame.rxMode(), frame.rxAddr(), frame.addrSize()), payload(frame.data()),
                            printable(wire));
    if (!note.isEmpty())
        line += QStringLiteral(" (%1)").arg(note);
    return line;
}

QString FrameLog::printable(const QByteArray &bytes)
{
    QString text;
    for (const char byte : bytes) {
        const auto value = uchar(byte);
        if (value >= 0x20 && value < 0x7F)
            text += QLatin1Char(byte);
        else
            text += QStringLiteral("<%1>").arg(value, 2, 16, QLatin1Char('0')).toUpper();
    }
    return text;
}

void FrameLog::write(const QString &line)
{
    if (!out)
        return;
    out->write(line.toUtf8() + '\n');
    if (auto *file = qobject_cast<QFileDevice *>(out))
        file->flush();
}

QString FrameLog::stamp() const
{
    return QStringLiteral("[%1] ").arg(double(clock.elapsed()) / 1000.0, 8, 'f', 3);
}
