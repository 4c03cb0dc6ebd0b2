#include "trafficunit.h"

#include "frametext.h"
#include "myframedec.h"
#include "quietdecoding.h"

#include <QDateTime>

namespace {

// Longer units (a flood's garbage datagrams reach 64 KB) are shown by their start and their length:
// a line is for reading, and a view lays out every character of it.
constexpr int shownBytes = 128;
constexpr int longFrameBytes = 1024;

// A unit under its label, by its first bytes when it is long; size is its whole length.
QString shortUnit(const QString &label, const QByteArray &bytes, int size, QString note)
{
    if (size <= shownBytes)
        return FrameText::unit(label, bytes, note);
    note += QStringLiteral("%1%2 bytes, first %3 shown")
                .arg(note.isEmpty() ? QString() : QStringLiteral(", "))
                .arg(size)
                .arg(shownBytes);
    return FrameText::unit(label, bytes.left(shownBytes), note);
}

// The frame was decoded, and its diagnostics written, when it was received: a line drawn again does
// not write them again.
QString describeKept(bool sent, RxItemKind kind, const QByteArray &bytes, int size)
{
    const QuietDecoding quiet;
    if (kind == RxTextLine)
        return shortUnit(QStringLiteral("SESSION"), bytes, size, QString());
    if (kind == RxBusFrame) {
        const MyFrameDec frame(bytes, false);
        // Frames are a few hundred bytes; a peer's endless one is listed by its start.
        if (frame.isValid())
            return size <= longFrameBytes ? FrameText::frame(frame, bytes)
                                          : shortUnit(frame.commandName(), bytes, size, QString());
        if (size <= shownBytes)
            return FrameText::rejected(bytes, sent ? QString() : QStringLiteral(": dropped"));
    }
    return shortUnit(QStringLiteral("DROPPED"), bytes, size, QStringLiteral("not a bus frame"));
}

// The local date and time are worked out once a second: each working out reads the time zone. Lines
// are made on the GUI thread only.
QString stampPrefix(qint64 msecs)
{
    static qint64 second = -1;
    static QString prefix;
    if (msecs / 1000 != second) {
        second = msecs / 1000;
        prefix = QDateTime::fromMSecsSinceEpoch(second * 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."));
    }
    return prefix;
}

} // namespace

TrafficUnit::TrafficUnit(qint64 msecsSinceEpoch, bool sent, RxItemKind kind, const QByteArray &bytes,
                         const QString &endpoint)
    : msecs(msecsSinceEpoch)
    , sent(sent)
    , kind(kind)
    , size(int(bytes.size()))
    , endpoint(endpoint)
{
    if (kind == RxBusFrame && size > longFrameBytes)
        description = describeKept(sent, kind, bytes, size);
    else if (kind == RxBusFrame || size <= shownBytes)
        this->bytes = bytes;
    else
        this->bytes = bytes.left(shownBytes);
}

QString TrafficUnit::line() const
{
    const int milliseconds = int(msecs % 1000);
    const char millis[] = {char('0' + milliseconds / 100), char('0' + milliseconds / 10 % 10),
                           char('0' + milliseconds % 10), ' '};
    return stampPrefix(msecs) + QLatin1String(millis, 4) +
           FrameText::arrow(sent ? FrameText::FromPc : FrameText::ToPc) + QLatin1Char(' ') + endpoint +
           QLatin1Char(' ') + (description.isNull() ? describeKept(sent, kind, bytes, size) : description);
}
