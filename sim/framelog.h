#ifndef FRAMELOG_H
#define FRAMELOG_H

#include "frametext.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QString>

class MyFrameDec;
class QIODevice;

// The simulator's readable trace: one line per frame in either direction and per session event,
// each stamped with the seconds since start and flushed at once so that a script reading the
// output sees it as it happens. The same units can also go to a second device as JSON lines, one
// object per unit with its "kind", "t" (the seconds since start) and its fields, for programs.
class FrameLog
{
public:
    using Direction = FrameText::Direction;
    static constexpr Direction FromPc = FrameText::FromPc;
    static constexpr Direction ToPc = FrameText::ToPc;

    // The device is not owned; a null device makes a silent log.
    explicit FrameLog(QIODevice *out);
    // The device for the JSON lines (not owned); null: none are written.
    void setJsonDevice(QIODevice *device) { json = device; }

    // A line without a time stamp (the endpoint line that scripts read first).
    void plain(const QString &line);
    void event(const QString &line);
    // A decoded frame with its wire text as it travelled; note says what happened to it.
    void frame(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
               const QString &note = QString());
    // Bytes that did not decode to a frame.
    void undecodable(Direction direction, const QByteArray &wire, const QString &note);
    // Bytes from the PC that are no valid frame, with fate saying what became of them.
    void rejected(Direction direction, const QByteArray &wire, const QString &fate);
    void session(const QString &peer, const QString &what);

    static QString frameText(Direction direction, const MyFrameDec &frame, const QByteArray &wire,
                             const QString &note);
    // STX and ETX and other control bytes as <02>, so the line stays on one line.
    static QString printable(const QByteArray &bytes);

private:
    void write(const QString &line);
    void writeJson(const QString &kind, QJsonObject record);
    QString stamp() const;

    QIODevice *out;
    QIODevice *json = nullptr;
    QElapsedTimer clock;
};

#endif // FRAMELOG_H
