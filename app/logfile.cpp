#include "logfile.h"

#include "toolboxoptions.h"

#include <QFile>
#include <QLoggingCategory>
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

bool LogFile::setUp(const ToolboxOptions &options, QString &error)
{
    qSetMessagePattern(QStringLiteral("%{file}:%{line} - %{message}"));
    if (!options.logFile.isEmpty())
        return install(options.logFile, error);
    if (options.verbose)
        return true;
    // A disabled category costs one branch: the lines are neither built nor written. The window
    // keeps the warnings (a link lost, a driver call failed), which come once per event, and Qt's
    // own. A run from a script keeps stderr for the job's progress and its reason alone.
    if (options.mode == ToolboxOptions::Window)
        QLoggingCategory::setFilterRules(QStringLiteral("telvoran.*.debug=false\ntelvoran.*.info=false"));
    else
        QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false\n*.warning=false"));
    return true;
}

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
