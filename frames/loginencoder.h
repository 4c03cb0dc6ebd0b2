#ifndef LOGINENCODER_H
#define LOGINENCODER_H

#include <QByteArray>
#include <QDateTime>
#include <QString>

// The Ethernet interface module's LOGIN datagram with a password: "LOGIN", then the date and time
// fields complemented, and at the fields' separators the password's check bytes mixed with their sum.
// Protocol, not transport: the link sends it, the simulator's module checks it.
class LoginEncoder
{
public:
    // False, with out untouched, when the password is empty.
    static bool encode(QByteArray &out, const QString &password, const QDateTime &now);
};

#endif // LOGINENCODER_H
