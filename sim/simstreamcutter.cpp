#include "simstreamcutter.h"

namespace {

constexpr char stx = 0x02;
constexpr char etx = 0x03;
const QByteArray loginWord("LOGIN");
const QByteArray helloWord("HELLO");
const QByteArray logoutWord("LOGOUT");

bool isPrefixOfWord(const QByteArray &bytes)
{
    return loginWord.startsWith(bytes) || helloWord.startsWith(bytes) || logoutWord.startsWith(bytes);
}

// An encoded LOGIN complements everything after the word, so its sixth byte has bit 7 set. Byte 9
// is a year digit in the 22-byte form and a complemented separator (0) in the 21-byte form of the
// years whose last two digits are below 10.
int encodedLoginLength(const QByteArray &bytes)
{
    constexpr int probe = 9;
    if (bytes.size() <= probe)
        return -1;
    return bytes.at(probe) == 0 ? 21 : 22;
}

} // namespace

bool SimStreamCutter::take(Item &item)
{
    skipSeparators();
    if (buffer.isEmpty())
        return false;
    if (buffer.at(0) == stx)
        return takeFrame(item);
    if (sessionWords) {
        bool needMore = false;
        if (takeWord(item, needMore))
            return true;
        if (needMore)
            return false;
    }
    int end = buffer.size();
    for (const char stop : {stx, '\r', '\n'}) {
        const int at = buffer.indexOf(stop);
        if (at > 0 && at < end)
            end = at;
    }
    cut(Noise, end, item);
    return true;
}

bool SimStreamCutter::takeRest(Item &item)
{
    if (take(item))
        return true;
    if (buffer.isEmpty())
        return false;
    cut(buffer.startsWith(loginWord) ? Login : Noise, buffer.size(), item);
    return true;
}

bool SimStreamCutter::takeFrame(Item &item)
{
    const int end = buffer.indexOf(etx, 1);
    const int nextStart = buffer.indexOf(stx, 1);
    if (nextStart > 0 && (end < 0 || nextStart < end)) {
        cut(Noise, nextStart, item);
        return true;
    }
    if (end < 0) {
        if (buffer.size() <= bufferLimit)
            return false;
        cut(Noise, buffer.size(), item);
        return true;
    }
    cut(Frame, end + 1, item);
    return true;
}

bool SimStreamCutter::takeWord(Item &item, bool &needMore)
{
    if (buffer.startsWith(loginWord)) {
        if (buffer.size() == loginWord.size()) {
            needMore = true;
            return false;
        }
        if (uchar(buffer.at(loginWord.size())) < 0x80) {
            cut(Login, loginWord.size(), item);
            return true;
        }
        const int length = encodedLoginLength(buffer);
        if (length < 0 || buffer.size() < length) {
            needMore = true;
            return false;
        }
        cut(Login, length, item);
        return true;
    }
    if (buffer.startsWith(helloWord)) {
        cut(Hello, helloWord.size(), item);
        return true;
    }
    if (buffer.startsWith(logoutWord)) {
        cut(Logout, logoutWord.size(), item);
        return true;
    }
    needMore = isPrefixOfWord(buffer);
    return false;
}

void SimStreamCutter::cut(Kind kind, int length, Item &item)
{
    item.kind = kind;
    item.data = buffer.left(length);
    buffer.remove(0, length);
}

// Peers may end their words and frames with CR LF or pad with NUL; those bytes carry nothing.
void SimStreamCutter::skipSeparators()
{
    int skip = 0;
    while (skip < buffer.size() &&
           (buffer.at(skip) == '\r' || buffer.at(skip) == '\n' || buffer.at(skip) == 0))
        ++skip;
    buffer.remove(0, skip);
}
