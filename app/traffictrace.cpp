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

QByteArray shortened(const QByteArray &bytes, QString &note)
{
    if (bytes.size() <= shownBytes)
        return bytes;
    note += QStringLiteral("%1%2 bytes, first %3 shown").arg(note.isEmpty() ? QString() : QStringLiteral(", "))
                .arg(bytes.size())
                .arg(shownBytes);
    return bytes.left(shownBytes);
}

} // namespace

QString TrafficTrace::describe(bool sent, RxItemKind kind, const QByteArray &bytes)
{
    QString note;
    switch (kind) {
    case RxBusFrame: {
        const MyFrameDec frame(bytes, false);
        if (frame.isValid())
            return FrameText::frame(frame, bytes);
        if (bytes.size() > shownBytes)
            return describe(sent, RxOtherData, bytes);
        return FrameText::rejected(bytes, sent ? QString() : QStringLiteral(": dropped"));
    }
    case RxTextLine: {
        const QByteArray shown = shortened(bytes, note);
        return FrameText::unit(QStringLiteral("SESSION"), shown, note);
    }
    case RxOtherData:
        break;
    }
    note = QStringLiteral("not a bus frame");
    const QByteArray shown = shortened(bytes, note);
    return FrameText::unit(QStringLiteral("DROPPED"), shown, note);
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
        stampPrefix = QDateTime::fromMSecsSinceEpoch(stampSecond * 1000).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss."));
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
