#include "traffictrace.h"

#include "frametext.h"
#include "myframedec.h"

#include <QDateTime>
#include <QMetaMethod>

bool TrafficTrace::openFile(const QString &path, QString &error)
{
    file.setFileName(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return true;
    error = QStringLiteral("cannot write the trace %1: %2").arg(path, file.errorString());
    return false;
}

namespace {

// Longer units (a flood's garbage datagrams reach 64 KB) are shown by their start and their length:
// a line is for reading, and a view lays out every character of it.
constexpr int shownBytes = 128;
constexpr int longFrameBytes = 1024;

// A unit under its label, by its first bytes when it is long.
QString shortUnit(const QString &label, const QByteArray &bytes, QString note)
{
    if (bytes.size() <= shownBytes)
        return FrameText::unit(label, bytes, note);
    note += QStringLiteral("%1%2 bytes, first %3 shown")
                .arg(note.isEmpty() ? QString() : QStringLiteral(", "))
                .arg(bytes.size())
                .arg(shownBytes);
    return FrameText::unit(label, bytes.left(shownBytes), note);
}

} // namespace

QString TrafficTrace::describe(bool sent, RxItemKind kind, const QByteArray &bytes)
{
    if (kind == RxTextLine)
        return shortUnit(QStringLiteral("SESSION"), bytes, QString());
    if (kind == RxBusFrame) {
        const MyFrameDec frame(bytes, false);
        // Frames are a few hundred bytes; a peer's endless one is listed by its start.
        if (frame.isValid())
            return bytes.size() <= longFrameBytes ? FrameText::frame(frame, bytes)
                                                  : shortUnit(frame.commandName(), bytes, QString());
        if (bytes.size() <= shownBytes)
            return FrameText::rejected(bytes, sent ? QString() : QStringLiteral(": dropped"));
    }
    return shortUnit(QStringLiteral("DROPPED"), bytes, QStringLiteral("not a bus frame"));
}

void TrafficTrace::record(bool sent, RxItemKind kind, const QByteArray &bytes)
{
    const bool toFile = file.isOpen();
    if (!toFile && !isSignalConnected(QMetaMethod::fromSignal(&TrafficTrace::line)))
        return;
    // The local date and time are worked out once a second: each working out reads the time zone.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now / 1000 != stampSecond) {
        stampSecond = now / 1000;
        stampPrefix = QDateTime::fromMSecsSinceEpoch(stampSecond * 1000)
                          .toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."));
    }
    const QString text = stampPrefix + QStringLiteral("%1 ").arg(now % 1000, 3, 10, QLatin1Char('0')) +
                         FrameText::arrow(sent ? FrameText::FromPc : FrameText::ToPc) + QLatin1Char(' ') +
                         endpoint + QLatin1Char(' ') + describe(sent, kind, bytes);
    if (toFile) {
        // Each line goes out at once: a trace is read when something went wrong, possibly a crash.
        file.write(text.toUtf8() + '\n');
        file.flush();
    }
    emit line(text);
}
