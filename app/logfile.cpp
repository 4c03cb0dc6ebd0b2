#include "logfile.h"

#include <QFile>
#include <QtGlobal>

namespace {

QFile *logFile = nullptr;

void writeLine(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    logFile->write(qFormatLogMessage(type, context, message).toUtf8() + '\n');
    // A crash right after a line must not lose it.
    logFile->flush();
}

} // namespace

bool LogFile::install(const QString &path, QString &error)
{
    // Lives until the process ends: a log line may come from any destructor.
    auto *file = new QFile(path);
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        error = QStringLiteral("cannot open the log file %1: %2").arg(path, file->errorString());
        delete file;
        return false;
    }
    logFile = file;
    qInstallMessageHandler(writeLine);
    return true;
}
