#include "framelog.h"

#include "myframedec.h"

#include <QFileDevice>
#include <QIODevice>

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
    write(stamp() + FrameText::arrow(direction) + QLatin1Char(' ') +
          FrameText::unit(QStringLiteral("?"), wire, note));
}

void FrameLog::rejected(Direction direction, const QByteArray &wire, const QString &fate)
{
    write(stamp() + FrameText::arrow(direction) + QLatin1Char(' ') + FrameText::rejected(wire, fate));
}

void FrameLog::session(const QString &peer, const QString &what)
{
    write(stamp() + QStringLiteral("SESSION %1 %2").arg(peer, what));
}

QString FrameLog::frameText(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
                            const QString &note)
{
    return FrameText::arrow(direction) + QLatin1Char(' ') + FrameText::frame(frame, wire, note);
}

QString FrameLog::printable(const QByteArray &bytes)
{
    return FrameText::printable(bytes);
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
