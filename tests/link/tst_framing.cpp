// The receive pass: cutting the byte stream into bus frames, text lines and other data.

#include "mydiftdi.h"

#include <QtTest>

#define STX "\x02"
#define ETX "\x03"
#define CRLF "\r\n"
#define FRAME STX "BD0231F0" ETX

using Bytes = QByteArrayList;

namespace {

// Takes every waiting item, written kind first: F bus frame, L text line, O other data.
Bytes drain(MyDiFtdi &link)
{
    Bytes items;
    while (link.itemCount() > 0) {
        const RxItem item = link.takeItem();
        const bool whole = item.kind != RxOtherData;
        items.append((item.complete != whole ? "?" : "FLO"[item.kind] + QByteArray()) + item.data);
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
        QTest::addColumn<QByteArray>("rest");

        QTest::newRow("one frame") << Bytes{FRAME} << Bytes{"F" FRAME} << QByteArray();
        QTest::newRow("frame in pieces") << Bytes{STX "BD02", "31F0" ETX} << Bytes{"F" FRAME} << QByteArray();
        QTest::newRow("frame start waits") << Bytes{STX "BD02"} << Bytes{} << QByteArray(STX "BD02");
        QTest::newRow("noise before frame")
            << Bytes{"xy", "z" FRAME} << Bytes{"Oxyz", "F" FRAME} << QByteArray();
        QTest::newRow("cut short by STX")
            << Bytes{STX "AB" STX "CD" ETX} << Bytes{"O" STX "AB", "F" STX "CD" ETX} << QByteArray();
        QTest::newRow("cut short later")
            << Bytes{STX "AB", "CD", STX "EF"} << Bytes{"O" STX "ABCD"} << QByteArray(STX "EF");
        QTest::newRow("line, frame") << Bytes{"INFO:Session opened" CRLF FRAME}
                                     << Bytes{"LINFO:Session opened" CRLF, "F" FRAME} << QByteArray();
        QTest::newRow("frame, line") << Bytes{FRAME "OK" CRLF} << Bytes{"F" FRAME, "LOK" CRLF}
                                     << QByteArray();
        QTest::newRow("CR LF in frame")
            << Bytes{STX "AB" CRLF "CD" ETX} << Bytes{"O" STX "AB" CRLF "CD" ETX} << QByteArray();
        QTest::newRow("CR LF in frame, pieces")
            << Bytes{STX "AB" CRLF, "CD", ETX} << Bytes{"O" STX "AB" CRLF "CD" ETX} << QByteArray();
        QTest::newRow("CR, then LF") << Bytes{"abc\r", "\n"} << Bytes{"Labc" CRLF} << QByteArray();
        QTest::newRow("undelimited") << Bytes{"ab" ETX, "cd"} << Bytes{} << QByteArray("ab" ETX "cd");
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
        // A new frame start cuts off whatever waits, which shows the waiting bytes themselves.
        link.receivePass(STX);
        QCOMPARE(drain(link), (rest.isEmpty() ? Bytes() : Bytes{"O" + rest}));
    }

    // Undelimited bytes are let go at the bound, as other data and none lost; a unit within it stays whole.
    void rxBufferBound()
    {
        MyDiFtdi link;
        int let = 0;
        for (int sent = 0; sent < 1 << 20; sent += 4096) {
            link.receivePass(QByteArray(4096, 'x'));
            QVERIFY(link.bufferedByteCount() <= MyDiFtdi::rxBufferLimit);
            for (const QByteArray &item : drain(link)) {
                QVERIFY(item.startsWith('O'));
                let += item.size() - 1;
            }
        }
        QCOMPARE(let + link.bufferedByteCount(), 1 << 20);
        link.receivePass(STX "BD02");
        link.receivePass("31F0" ETX);
        QCOMPARE(drain(link).last(), QByteArray("F" FRAME));

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
        QCOMPARE(newFrame.at(0).at(0).value<MyDiFtdi *>(), &link);
        QCOMPARE(link.currentSessionState(), MyDiFtdi::SessionOpened);
        QCOMPARE(queuedAtSessionChange, 1);
        // Items left untaken are announced again by every pass, even one that brings nothing.
        link.receivePass({});
        QCOMPARE(newFrame.count(), 2);
        QCOMPARE(drain(link).size(), 2);
        const RxItem none = link.takeItem();
        QVERIFY(none.kind == RxBusFrame && !none.complete && none.data.isEmpty());
    }
};

QTEST_GUILESS_MAIN(TstFraming)
#include "tst_framing.moc"
