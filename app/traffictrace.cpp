#include "traffictrace.h"

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

void TrafficTrace::record(bool sent, RxItemKind kind, const QByteArray &bytes)
{
    const bool toFile = file.isOpen();
    if (!toFile && !isSignalConnected(QMetaMethod::fromSignal(&TrafficTrace::line)))
        return;
    const TrafficUnit unit(QDateTime::currentMSecsSinceEpoch(), sent, kind, bytes, endpoint);
    if (toFile) {
        // Each line goes out at once: a trace is read when something went wrong, possibly a crash.
        file.write(unit.line().toUtf8() + '\n');
        file.flush();
    }
    emit line(unit);
}
