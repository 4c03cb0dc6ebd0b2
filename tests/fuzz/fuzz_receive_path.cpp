// The manager's receive path, fed through a link as from the bus master on USB. Every valid bus frame is
// handed on once, in order; the answer test passes exactly the answers to the pending request; a frame
// that asks this PC for an acknowledgement gets one, back to its sender, and no other frame does.
// Input: a byte (bit 0: a scan request awaits its COACKN; the rest: the piece length), then the stream.

#include "faked2xxdriver.h"
#include "fuzzsupport.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"

namespace {

constexpr int usbMode = 2;

QByteArrayList validFrames(const QByteArray &stream)
{
    MyDiFtdi link;
    link.receivePass(stream);
    QByteArrayList texts;
    while (link.itemCount() > 0) {
        const RxItem item = link.takeItem();
        const MyFrameDec frame(item.data, false);
        if (item.kind == RxBusFrame && frame.isValid())
            texts << frame.text();
    }
    return texts;
}

void checkAck(const MyFrameDec &f, const QByteArray &sent)
{
    const MyFrameDec ack(sent, false);
    FUZZ_CHECK(sent.isEmpty() == (f.ackRequest() == 0 || f.frameType() != 1 || f.rxMode() != usbMode));
    FUZZ_CHECK(sent.isEmpty() || (ack.isValid() && ack.text() == sent && ack.command() == 1 &&
                                  ack.ackRequest() == 0 && ack.frameType() == 1 && ack.frameClass() == 0x60));
    FUZZ_CHECK(sent.isEmpty() ||
               (ack.addrSize() == f.addrSize() && ack.txMode() == f.rxMode() && ack.rxMode() == f.txMode() &&
                (f.txMode() != 3 || ack.rxAddr() == f.txAddr())));
}

void run(bool scanPending, int pieceLength, const QByteArray &stream)
{
    FakeD2xxScope d2xx;
    d2xx.driver().addDevice();
    const QByteArray &written = d2xx.driver().device(0).written;
    MyTreatComPc manager(QStringLiteral("usb://localhost?vid=1027&pid=61264"));
    if (scanPending) // policyDefault awaits COACKN
        FUZZ_CHECK(
            manager.sendFrame(MyFrameDec(QByteArray::fromHex("BD0231F0"), true), manager.policyDefault) == 0);

    // An answer comes first through newFrameReceived, then through allNewFrame, and its ack between them.
    QByteArrayList heard;
    QByteArray answer;
    int writtenBefore = written.size();
    QObject::connect(&manager, &MyTreatComPc::newFrameReceived, [&](const MyFrameDec &f) {
        FUZZ_CHECK(answer.isEmpty() && written.size() == writtenBefore);
        answer = f.text();
    });
    QObject::connect(&manager, &MyTreatComPc::allNewFrame, [&](const MyFrameDec &f) {
        const bool answersScan = (f.command() == 1 || f.command() == 2) && f.rxMode() == usbMode &&
                                 f.txMode() == 0 && f.addrSize() == 0x18;
        FUZZ_CHECK(answer == (scanPending && !answersScan ? QByteArray() : f.text()));
        checkAck(f, written.mid(writtenBefore));
        answer.clear();
        writtenBefore = written.size();
        heard << f.text();
    });
    MyDiFtdi link;
    QObject::connect(&link, SIGNAL(newFrame(MyDiFtdi *)), &manager, SLOT(on_newframe_cb(MyDiFtdi *)));
    for (int pos = 0; pos < stream.size(); pos += pieceLength)
        link.receivePass(stream.mid(pos, pieceLength));
    FUZZ_CHECK(heard == validFrames(stream) && link.itemCount() == 0 && answer.isEmpty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    [[maybe_unused]] static const bool ready = setUpProcess();
    if (size > 0)
        run(data[0] & 1, 1 + (data[0] >> 1), bytesOf(data + 1, size - 1));
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return 0;
}
