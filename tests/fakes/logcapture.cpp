#include "logcapture.h"

namespace {

// The message log is process-wide, and so is what it captures; GUI thread only.
QStringList &captured()
{
    static QStringList lines;
    return lines;
}

void capture(QtMsgType, const QMessageLogContext &, const QString &message)
{
    captured().append(message);
}

} // namespace

LogCapture::LogCapture()
{
    captured().clear();
    previous = qInstallMessageHandler(capture);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(previous);
    captured().clear();
}

QStringList LogCapture::lines() const
{
    return captured();
}

int LogCapture::count(const QString &line) const
{
    return captured().count(line);
}

QStringList LogCapture::only(const QStringList &wanted) const
{
    QStringList kept;
    for (const QString &line : captured()) {
        if (wanted.contains(line))
            kept.append(line);
    }
    return kept;
}

void LogCapture::clear()
{
    captured().clear();
}
