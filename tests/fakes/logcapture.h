#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QStringList>
#include <QtGlobal>

// Collects the Qt message log for its scope instead of printing it. Process-wide: one at a time.
class LogCapture
{
public:
    LogCapture() { captured.clear(); }
    ~LogCapture() { qInstallMessageHandler(previous), captured.clear(); }

    QStringList lines() const { return captured; }
    // The captured lines among `wanted`, in logged order: leaves out other layers' lines.
    QStringList only(const QStringList &wanted) const
    {
        QStringList kept;
        for (const QString &line : captured)
            if (wanted.contains(line))
                kept.append(line);
        return kept;
    }

    // The line that the Qt debug stream writes for these items: one space after each but the last.
    static QString streamed(const QStringList &items) { return items.join(QLatin1Char(' ')); }

private:
    static void capture(QtMsgType, const QMessageLogContext &, const QString &message)
    {
        captured << message;
    }
    static inline QStringList captured;
    QtMessageHandler previous = qInstallMessageHandler(capture);
};

#endif // LOGCAPTURE_H
