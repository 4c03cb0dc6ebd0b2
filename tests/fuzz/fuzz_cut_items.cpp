// The stream framing, fed in pieces with the session handler live. A session line feeds the next piece
// from inside the pass, as the Ethernet close does while it waits with events processed; every
// announcement is drained at once, as the manager does. Input: a byte choosing the pieces, the stream.

#include "fuzzsupport.h"
#include "mydiftdi.h"

namespace {

struct Feed
{
    MyDiFtdi link;
    QList<QByteArray> pieces, items; // an item: its kind as a digit, then its bytes
    int next = 0;
    QByteArray fed, cut;

    void drain()
    {
        while (link.itemCount() > 0) {
            const RxItem item = link.takeItem();
            const QByteArray &d = item.data, inner = d.mid(1, d.size() - 2);
            FUZZ_CHECK(!d.isEmpty() && item.complete == (item.kind != RxOtherData));
            FUZZ_CHECK(item.kind != RxBusFrame ||
                       (d.startsWith('\x02') && d.endsWith('\x03') && !inner.contains('\x02') &&
                        !inner.contains('\x03') && !inner.contains("\r\n")));
            FUZZ_CHECK(item.kind != RxTextLine || (d.indexOf("\r\n") == d.size() - 2 && !d.contains('\x02')));
            items << QByteArray::number(item.kind) + d;
            cut += d;
        }
    }
    void feedNext()
    {
        if (next < pieces.size())
            fed += pieces[next], link.receivePass(pieces[next++]);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static const bool ready = setUpProcess();
    if (size == 0)
        return 0;
    // Pieces of 1 to 32 bytes; with the top three bits of the choice set every piece comes 1024 times, so
    // that undelimited runs outgrow the buffer bound.
    Feed feed;
    const int length = 1 + (data[0] & 0x1F), repeat = (data[0] & 0xE0) == 0xE0 ? 1024 : 1;
    for (int pos = 1; pos < int(size) && (repeat == 1 || pos < 96); pos += length)
        feed.pieces << bytesOf(data + pos, std::min<size_t>(length, size - pos)).repeated(repeat);
    QObject::connect(&feed.link, &MyDiFtdi::newFrame, [&feed] { feed.drain(); });
    QObject::connect(&feed.link, &MyDiFtdi::sessionStateChanged, [&feed] { feed.feedNext(); });
    while (feed.next < feed.pieces.size()) {
        feed.feedNext();
        FUZZ_CHECK(feed.link.bufferedByteCount() <= MyDiFtdi::rxBufferLimit);
        FUZZ_CHECK(feed.cut.size() + feed.link.bufferedByteCount() == feed.fed.size());
    }
    FUZZ_CHECK(feed.fed.startsWith(feed.cut)); // items only grow at the end: a wrong byte would stay
    // Below the bound, where the stream was cut into pieces must not change what is cut from it.
    if (feed.fed.size() > MyDiFtdi::rxBufferLimit)
        return 0;
    Feed whole;
    whole.link.receivePass(feed.fed);
    whole.drain();
    FUZZ_CHECK(whole.items == feed.items);
    return 0;
}
