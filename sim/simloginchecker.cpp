#include "simloginchecker.h"

#include "loginencoder.h"

namespace {

constexpr int encodedLength = 22;
// Two minutes either way cover a LOGIN built just before a minute turned over.
constexpr int clockSlackMinutes = 2;

// Fields after "LOGIN" are complemented; a field is two characters, right-aligned with spaces.
int field(const QByteArray &datagram, int index)
{
    QByteArray text;
    text.append(char(~uchar(datagram.at(index)))).append(char(~uchar(datagram.at(index + 1))));
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    return ok ? value : -1;
}

} // namespace

bool SimLoginChecker::isBare(const QByteArray &datagram)
{
    return datagram == "LOGIN";
}

bool SimLoginChecker::matches(const QByteArray &datagram, const QString &password, const QDateTime &now)
{
    if (password.isEmpty() || !datagram.startsWith("LOGIN") || isBare(datagram))
        return false;
    const QDateTime carried = carriedDateTime(datagram);
    if (carried.isValid() && rebuildsTo(datagram, password, carried))
        return true;
    for (int minutes = -clockSlackMinutes; minutes <= clockSlackMinutes; ++minutes) {
        if (rebuildsTo(datagram, password, now.addSecs(60LL * minutes)))
            return true;
    }
    return false;
}

QDateTime SimLoginChecker::carriedDateTime(const QByteArray &datagram)
{
    // Check bytes sit at 7, 10, 13, 16 and 19; the fields around them are the date and time.
    if (datagram.size() != encodedLength || !datagram.startsWith("LOGIN"))
        return QDateTime();
    const int century = field(datagram, 5);
    const int year = field(datagram, 8);
    const int month = field(datagram, 11);
    const int day = field(datagram, 14);
    const int hour = field(datagram, 17);
    const int minute = field(datagram, 20);
    if (century < 0 || year < 0 || month < 0 || day < 0 || hour < 0 || minute < 0)
        return QDateTime();
    const QDate date(century * 100 + year, month, day);
    const QTime time(hour, minute);
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time);
}

bool SimLoginChecker::rebuildsTo(const QByteArray &datagram, const QString &password, const QDateTime &when)
{
    QByteArray rebuilt;
    return LoginEncoder::encode(rebuilt, password, when) && rebuilt == datagram;
}
