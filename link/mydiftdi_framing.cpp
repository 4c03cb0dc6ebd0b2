// Stream framing: cuts the link's receive buffer into bus frames, text lines and other data.

#include "mydiftdi.h"

#include <QScopedValueRollback>

#include <cstring>
#include <utility>

namespace {

constexpr char stx = 0x02;
constexpr char etx = 0x03;
constexpr char cr = 0x0D;
constexpr char lf = 0x0A;

int findByte(const QByteArray &buffer, int from, char byte)
{
    if (from >= buffer.size())
        return -1;
    const char *data = buffer.constData();
    const void *hit = std::memchr(data + from, byte, size_t(buffer.size() - from));
    return hit ? int(static_cast<const char *>(hit) - data) : -1;
}

int findCrLf(const QByteArray &buffer, int from)
{
    const char *data = buffer.constData();
    const int lastStart = buffer.size() - 1;
    while (from < lastStart) {
        const int at = findByte(buffer, from, cr);
        if (at < 0 || at >= lastStart)
            return -1;
        if (data[at + 1] == lf)
            return at;
        from = at + 1;
    }
    return -1;
}

struct Unit
{
    RxItemKind kind = RxOtherData;
    int length = 0; // 0: no complete unit yet
};

// Finds the units of the receive buffer from a moving offset. Each delimiter is searched for only
// beyond the point where the last search for it stopped, so a pass examines every byte at most
// once per delimiter, and bytes already searched in an earlier pass are not searched again.
class UnitFinder
{
public:
    UnitFinder(const QByteArray &buffer, RxScanState &scan)
        : buffer(buffer)
        , scan(scan)
    {}

    Unit unitAt(int pos)
    {
        if (pos >= buffer.size())
            return {};
        const int c = next(scan.crLf, pos, findCrLf, 1);
        const int s = next(scan.stx, pos, stxFinder, 0);
        if (c < 0 && s < 0)
            return {};
        if (c >= 0 && (s < 0 || c < s))
            return {RxTextLine, c + 2 - pos};
        if (s > pos)
            return {RxOtherData, s - pos};
        const int e = next(scan.etx, pos + 1, etxFinder, 0);
        const int s2 = next(scan.laterStx, pos + 1, stxFinder, 0);
        if (e < 0)
            return s2 >= 0 ? Unit{RxOtherData, s2 - pos} : Unit{};
        if (s2 >= 0 && s2 < e)
            return {RxOtherData, s2 - pos};
        // A CR LF inside STX..ETX means the unit is not one frame but a frame start and a line.
        const bool holdsCrLf = c >= 0 && c + 1 < e;
        return {holdsCrLf ? RxOtherData : RxBusFrame, e + 1 - pos};
    }

private:
    using Finder = int (*)(const QByteArray &, int);

    static int stxFinder(const QByteArray &buffer, int from) { return findByte(buffer, from, stx); }
    static int etxFinder(const QByteArray &buffer, int from) { return findByte(buffer, from, etx); }

    // First occurrence at or after from. tail is the delimiter's length minus one: a CR at the
    // very end may still meet its LF in the next pass.
    int next(RxScanState::Mark &mark, int from, Finder find, int tail)
    {
        if (mark.found >= from)
            return mark.found;
        mark.found = find(buffer, std::max(from, mark.checkedTo));
        mark.checkedTo = mark.found >= 0 ? mark.found + 1 : std::max(0, int(buffer.size()) - tail);
        return mark.found;
    }

    const QByteArray &buffer;
    RxScanState &scan;
};

} // namespace

void MyDiFtdi::cutItems()
{
    // treatInfo may close the link and wait with events processed; a receive pass run there only
    // appends, and this pass goes on to cut those bytes too.
    if (rxScan.cutting)
        return;
    const QScopedValueRollback<bool> cutting(rxScan.cutting, true);
    if (rxBuffer.size() < rxScan.bufferSize)
        rxScan = RxScanState{};

    UnitFinder finder(rxBuffer, rxScan);
    int pos = 0;
    for (Unit unit = finder.unitAt(pos); unit.length > 0; unit = finder.unitAt(pos)) {
        // The item's bytes are its one allocation; the item is then moved, not copied, to the queue.
        RxItem item{unit.kind, unit.kind != RxOtherData, QByteArray(rxBuffer.constData() + pos, unit.length)};
        const bool ofClosedTransport = pos < rxScan.closedTransportEnd;
        pos += unit.length;
        if (unit.kind == RxTextLine && !ofClosedTransport)
            treatInfo(item);
        queueItem(std::move(item));
    }
    // The buffer may still share the transport's read (appending to an empty buffer shares), and
    // removing from a shared buffer would copy all of it first: only the waiting rest is copied.
    if (pos == rxBuffer.size())
        rxBuffer.clear();
    else if (rxBuffer.isDetached())
        rxBuffer.remove(0, pos);
    else
        rxBuffer = rxBuffer.mid(pos);
    rxScan.dropFront(pos);
    rxScan.bufferSize = rxBuffer.size();
    boundRxBuffer();
}

// What stays after cutting is one waiting unit: undelimited bytes, or a frame start with neither
// its ETX nor a later STX. Either one longer than the bound can no longer become a frame or a line
// of sane length (frames are a few hundred bytes), so all of it goes out as other data, which the
// manager drops. Only a trailing CR stays: its LF may come next and close the overlong run as a
// line of its own, instead of a stray LF spoiling the next line. A frame or a line that fits the
// bound is never cut here: whatever came before it was cut off already.
void MyDiFtdi::boundRxBuffer()
{
    if (rxBuffer.size() <= rxBufferLimit)
        return;
    const int keep = rxBuffer.endsWith(cr) ? 1 : 0;
    const int drop = rxBuffer.size() - keep;
    queueItem(RxItem{RxOtherData, false, rxBuffer.left(drop)});
    rxBuffer.remove(0, drop);
    rxScan.dropFront(drop);
    rxScan.bufferSize = rxBuffer.size();
}

// Every received item reaches the queue, and the traffic view, this way.
void MyDiFtdi::queueItem(RxItem item)
{
    emit traffic(false, item.kind, item.data);
    rxItems.push_back(std::move(item));
}
