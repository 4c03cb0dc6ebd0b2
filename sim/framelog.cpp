#include "framelog.h"

#include "myframedec.h"

#include <QFileDevice>
#include <QIODevice>
#include <QJsonDocument>

namespace {

QString directionName(FrameLog::Direction direction)
{
    return direction == FrameLog::FromPc ? QStringLiteral("pc-to-bus") : QStringLiteral("bus-to-pc");
}

// Bytes as they travelled, one character per byte: STX and ETX stay as themselves.
QString wireText(const QByteArray &wire)
{
    return QString::fromLatin1(wire);
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
    writeJson(QStringLiteral("endpoint"), {{QStringLiteral("text"), line}});
}

void FrameLog::event(const QString &line)
{
    write(stamp() + line);
    writeJson(QStringLiteral("event"), {{QStringLiteral("text"), line.trimmed()}});
}

void FrameLog::frame(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
                     const QString &note)
{
    write(stamp() + frameText(direction, frame, wire, note));
    if (!json)
        return;
    writeJson(QStringLiteral("frame"), {{QStringLiteral("dir"), directionName(direction)},
                                        {QStringLiteral("wire"), wireText(wire)},
                                        {QStringLiteral("note"), note},
                                        {QStringLiteral("command"), frame.command()},
                                        {QStringLiteral("txMode"), frame.txMode()},
                                        {QStringLiteral("txAddr"), qint64(frame.txAddr())},
                                        {QStringLiteral("rxMode"), frame.rxMode()},
                                        {QStringLiteral("rxAddr"), qint64(frame.rxAddr())},
                                        {QStringLiteral("data"), QString::fromLatin1(frame.data().toHex())},
                                        // whether the bytes as they travelled make a valid frame
                                        {QStringLiteral("valid"), MyFrameDec(wire, false).isValid()}});
}

void FrameLog::undecodable(Direction direction, const QByteArray &wire, const QString &note)
{
    write(stamp() + FrameText::arrow(direction) + QLatin1Char(' ') +
          FrameText::unit(QStringLiteral("?"), wire, note));
    writeJson(QStringLiteral("undecodable"), {{QStringLiteral("dir"), directionName(direction)},
                                              {QStringLiteral("wire"), wireText(wire)},
                                              {QStringLiteral("note"), note}});
}

void FrameLog::rejected(Direction direction, const QByteArray &wire, const QString &fate)
{
    write(stamp() + FrameText::arrow(direction) + QLatin1Char(' ') + FrameText::rejected(wire, fate));
    writeJson(QStringLiteral("rejected"), {{QStringLiteral("dir"), directionName(direction)},
                                           {QStringLiteral("wire"), wireText(wire)},
                                           {QStringLiteral("note"), fate}});
}

void FrameLog::session(const QString &peer, const QString &what)
{
    write(stamp() + QStringLiteral("SESSION %1 %2").arg(peer, what));
    writeJson(QStringLiteral("session"), {{QStringLiteral("peer"), peer}, {QStringLiteral("text"), what}});
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

void FrameLog::writeJson(const QString &kind, QJsonObject record)
{
    if (!json)
        return;
    record.insert(QStringLiteral("kind"), kind);
    record.insert(QStringLiteral("t"), double(clock.elapsed()) / 1000.0);
    json->write(QJsonDocument(record).toJson(QJsonDocument::Compact) + '\n');
    if (auto *file = qobject_cast<QFileDevice *>(json))
        file->flush();
}

QString FrameLog::stamp() const
{
    return QStringLiteral("[%1] ").arg(double(clock.elapsed()) / 1000.0, 8, 'f', 3);
}
