#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Collects the messages of the Qt message log for the scope of a test, instead of printing them,
// so that a test can check exact lines and their order.
class LogCapture
{
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    QStringList lines() const;
    int count(const QString &line) const;
    // The captured lines that are among `wanted`, in the order they were logged: leaves out the
    // lines of other layers, whose wording is not under test.
    QStringList only(const QStringList &wanted) const;
    void clear();

private:
    QtMessageHandler previous = nullptr;
};

#endif // LOGCAPTURE_H
