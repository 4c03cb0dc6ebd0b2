// The receive pass: cutting the byte stream into bus frames, text lines and other data.
#include "mydiftdi.h"

#include <QtTest>

#define STX "\x02"
#define ETX "\x03"
#define CR "\r"
#define LF "\n"
#define CRLF CR LF
#define FRAME STX "BD0231F0" ETX

using Bytes = QByteArrayList;

namespace {

// Takes every waiting item, kind first: F bus frame, L text line, O other data, ? wrong completeness.
Bytes drain(MyDiFtdi &link)
{
    Bytes items;
    while (link.itemCount() > 0) {
        const RxItem item = link.takeItem();
        items.append((item.complete != (item.kind != RxOtherData) ? "?" : "FLO"[item.kind] + QByteArray()) +
                     item.data);
    }
    return items;
}

} // namespace

class TstFraming : public QObject
{
    Q_OBJECT

private slots:
    void cutsStream_data()
    {
        QTest::addColumn<Bytes>("chunks");
        QTest::addColumn<Bytes>("items");
        QTest::addColumn<QByteArray>("rest"); // what still waits
        QTest::newRow("frame in pieces") << Bytes{STX "BD02", "31F0" ETX} << Bytes{"F" FRAME} << QByteArray();
        QTest::newRow("noise, frame") << Bytes{"xy", "z" FRAME} << Bytes{"Oxyz", "F" FRAME} << QByteArray();
        QTest::newRow("cut short later")
            << Bytes{STX "AB", "CD", STX "EF"} << Bytes{"O" STX "ABCD"} << QByteArray(STX "EF");
        QTest::newRow("line, frame, line") << Bytes{"INFO:A" CRLF FRAME "OK" CRLF}
                                           << Bytes{"LINFO:A" CRLF, "F" FRAME, "LOK" CRLF} << QByteArray();
        QTest::newRow("undelimited") << Bytes{"ab" ETX, "cd"} << Bytes{} << QByteArray("ab" ETX "cd");
        // The receive buffer holds up to 64 KiB; a longer run goes out as other data, but for a last CR,
        // whose LF may still come.
        const QByteArray run(0x10000, 'A');
        QTest::newRow("64 KiB undelimited") << Bytes{run} << Bytes{} << run;
        QTest::newRow("overlong run, CR, LF")
            << Bytes{run + "B" CR, LF} << Bytes{"O" + run + "B", "L" CRLF} << QByteArray();
    }

    void cutsStream()
    {
        QFETCH(Bytes, chunks);
        QFETCH(Bytes, items);
        QFETCH(QByteArray, rest);
        MyDiFtdi link;
        QSignalSpy newFrame(&link, &MyDiFtdi::newFrame);
        for (const QByteArray &chunk : chunks)
            link.receivePass(chunk);
        QCOMPARE(drain(link), items);
        QCOMPARE(newFrame.isEmpty(), items.isEmpty());
        link.receivePass(STX); // a new frame start cuts off what waits
        QCOMPARE(drain(link), (rest.isEmpty() ? Bytes() : Bytes{"O" + rest}));
    }

    // A frame that fits the bound stays whole however it arrives. (Undelimited runs let go at the bound,
    // none lost: the fuzz_cut_items replay.)
    void rxBufferBound()
    {
        MyDiFtdi link;
        const QByteArray longFrame = STX + QByteArray(MyDiFtdi::rxBufferLimit - 2, 'A') + ETX;
        for (int at = 0; at < longFrame.size(); at += 4096)
            link.receivePass(longFrame.mid(at, 4096));
        QCOMPARE(drain(link), Bytes{"F" + longFrame});
    }

    void announcesOncePerPass()
    {
        MyDiFtdi link;
        QSignalSpy newFrame(&link, &MyDiFtdi::newFrame);
        int queuedAtSessionChange = -1;
        connect(&link, &MyDiFtdi::sessionStateChanged, this,
                [&] { queuedAtSessionChange = link.itemCount(); });
        // Two items in one pass: one announcement. The line reaches the session before it is queued.
        link.receivePass(FRAME "INFO:Session opened" CRLF);
        QCOMPARE(newFrame.count(), 1);
        QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionOpened);
        QCOMPARE(queuedAtSessionChange, 1);
        link.receivePass({}); // untaken items are announced again by every pass
        QCOMPARE(newFrame.count(), 2);
        QCOMPARE(drain(link).size(), 2);
    }
};

QTEST_GUILESS_MAIN(TstFraming)
#include "tst_framing.moc"
