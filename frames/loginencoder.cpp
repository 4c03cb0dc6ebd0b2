#include "loginencoder.h"

namespace {

constexpr int passwordBytesUsed = 10;
constexpr int checkByteCount = 5;
// Where the module expects the check bytes: the separators of a two-digit year remainder.
constexpr int checkBytePositions[checkByteCount] = {7, 10, 13, 16, 19};

QByteArray spaceFilled(int value)
{
    return QByteArray::number(value).rightJustified(2, ' ');
}

// The module reads the password's check bytes from pairs of its first ten characters.
void passwordCheckBytes(const QString &password, quint8 checks[checkByteCount])
{
    quint32 p[passwordBytesUsed] = {};
    const QByteArray latin = password.left(passwordBytesUsed).toLatin1();
    for (int i = 0; i < latin.size(); ++i)
        p[i] = static_cast<quint8>(latin.at(i));
    for (int i = 0; i < checkByteCount; ++i) {
        const quint32 s = p[i] + p[i + 1] + p[i + 5] + p[(i + 6) % passwordBytesUsed];
        checks[i] = static_cast<quint8>(s + 2 * (s >> 8));
    }
}

} // namespace

bool LoginEncoder::encode(QByteArray &out, const QString &password, const QDateTime &now)
{
    if (password.isEmpty())
        return false;
    quint8 checks[checkByteCount];
    passwordCheckBytes(password, checks);

    const QDate date = now.date();
    const QTime time = now.time();
    const char separator = '\xFF';
    out = "LOGIN";
    out += QByteArray::number(date.year() / 100) + separator;
    out += QByteArray::number(date.year() % 100) + separator;
    out += spaceFilled(date.month()) + separator;
    out += spaceFilled(date.day()) + separator;
    out += spaceFilled(time.hour()) + separator;
    out += spaceFilled(time.minute());

    quint32 sum = 0;
    for (int i = 5; i < out.size(); ++i) {
        out[i] = static_cast<char>(~static_cast<quint8>(out.at(i)));
        sum += static_cast<quint8>(out.at(i));
    }
    const quint32 folded = (sum & 0xFF) + ((sum >> 8) & 0xFF);
    const auto key = static_cast<quint8>(folded + (folded >> 8));
    // In years whose remainder is below 10 the datagram is one byte shorter, but the module still
    // looks at the same positions.
    for (int i = 0; i < checkByteCount; ++i) {
        if (checkBytePositions[i] < out.size())
            out[checkBytePositions[i]] = static_cast<char>(checks[i] ^ key);
    }
    return true;
}
