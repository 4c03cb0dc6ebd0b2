#ifndef SIMLOGINCHECKER_H
#define SIMLOGINCHECKER_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Checks a LOGIN datagram of the Ethernet session against the module's password. The datagram mixes
// check bytes of the password with the sender's date and time, so the check rebuilds it with the
// expected password for the date and time it carries and compares.
class SimLoginChecker
{
public:
    static bool isBare(const QByteArray &datagram);
    // True when the datagram was built from password; now is the module's own clock, a fallback for
    // the datagram forms whose date and time cannot be read back.
    static bool matches(const QByteArray &datagram, const QString &password,
                        const QDateTime &now = QDateTime::currentDateTime());
    // The date and time written in a 22-byte datagram; invalid for any other form.
    static QDateTime carriedDateTime(const QByteArray &datagram);

private:
    static bool rebuildsTo(const QByteArray &datagram, const QString &password, const QDateTime &when);
};

#endif // SIMLOGINCHECKER_H
