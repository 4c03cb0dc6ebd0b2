// The frame decoder on any input, in transport form (binary form when built with FUZZ_FRAME_BINARY).
// A frame that has a transport form must decode from it, and from its binary form, to the same fields.

#include "fuzzsupport.h"
#include "myframedec.h"

namespace {

bool sameFields(const MyFrameDec &a, const MyFrameDec &b)
{
    const auto fields = [](const MyFrameDec &f) {
        return QList<qint64>{f.frameType(), f.ackRequest(), f.addrSize(), f.frameClass(), f.txMode(),
                             f.rxMode(),    f.txAddr(),     f.txAddr16(), f.txAddr32(),   f.rxAddr(),
                             f.rxAddr16(),  f.rxAddr32(),   f.command()};
    };
    return fields(a) == fields(b) && a.data() == b.data();
}

void checkEncoding(const MyFrameDec &frame)
{
    FUZZ_CHECK(!frame.isValid() || !frame.text().isEmpty());
    if (frame.text().isEmpty())
        return;
    const QByteArray raw = frame.rawFrame();
    FUZZ_CHECK(frame.text() == '\x02' + raw.toHex().toUpper() + '\x03');
    FUZZ_CHECK(MyFrameDec::checksum(raw.chopped(1)) == quint8(raw.back()));
    for (const MyFrameDec &again : {MyFrameDec(frame.text(), false), MyFrameDec(raw, true)})
        FUZZ_CHECK(again.isValid() && sameFields(again, frame) && again.text() == frame.text());
    // Built from the fields alone: a decoder that misreads a field and keeps the received bytes shows here.
    MyFrameDec built;
    if (frame.isValid() && built.setFrame(frame.frameType(), frame.ackRequest(), frame.addrSize(),
                                          frame.frameClass(), frame.txMode(), frame.rxMode(), frame.txAddr(),
                                          frame.rxAddr(), frame.command(), frame.data()))
        FUZZ_CHECK(built.text() == frame.text());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static const bool ready = setUpProcess();
    const QByteArray input = bytesOf(data, size);
#ifdef FUZZ_FRAME_BINARY
    const QByteArray binary = input;
    const MyFrameDec frame(input, true);
#else
    const MyFrameDec frame(input, false);
    if (input.size() % 2 != 0)
        return FUZZ_CHECK(!frame.isValid() && frame.text().isEmpty() && sameFields(frame, MyFrameDec())), 0;
    // The digits between the first and the last byte, a pair that is not two hex digits giving 0.
    QByteArray binary;
    for (int i = 1; i + 2 < input.size(); i += 2) {
        const QByteArray pair = input.mid(i, 2);
        binary += isxdigit(uchar(pair[0])) && isxdigit(uchar(pair[1])) ? QByteArray::fromHex(pair)
                                                                       : QByteArray(1, 0);
    }
    const MyFrameDec reference(binary, true);
    FUZZ_CHECK(sameFields(frame, reference) && frame.isValid() == reference.isValid());
    FUZZ_CHECK(frame.text() == reference.text() && frame.rxChecksum() == reference.rxChecksum());
#endif
    checkEncoding(frame);
    // With a known command and no stray option bits, a valid frame is already canonical.
    if (frame.isValid() && frame.command() != 0 && (uchar(binary[1]) & 0x70) == 0)
        FUZZ_CHECK(frame.rawFrame() == binary);
    return 0;
}
