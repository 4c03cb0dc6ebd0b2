#include "logcapture.h"
#include "myframedec.h"

#include <QtTest>

namespace {

const auto stxEtx = [](const QByteArray &digits) { return '\x02' + digits + '\x03'; };
const auto addresses = [](const MyFrameDec &f) {
    return QList<uint>{f.txAddr(), f.txAddr16(), f.txAddr32(), f.rxAddr(), f.rxAddr16(), f.rxAddr32()};
};

void goldenRow(const char *name, const QList<uint> &fields, const char *dataHex, const char *digits)
{
    QTest::newRow(name) << fields << QByteArray::fromHex(dataHex) << QByteArray(digits);
}

// One decoder stop; `reencoded`: the decode got far enough to give the re-encoded frame as text().
void stopRow(const char *name, const QByteArray &digits, const QStringList &log, bool valid, int command,
             const char *dataHex, const char *rawHex, bool reencoded)
{
    QTest::newRow(name) << stxEtx(digits) << log << valid << command << QByteArray::fromHex(dataHex)
                        << QByteArray::fromHex(rawHex) << (reencoded ? stxEtx(rawHex) : QByteArray());
}

} // namespace

class TstMyFrameDec : public QObject
{
    Q_OBJECT

private slots:
    void goldenFrames_data()
    {
        // frameType, ackRequest, addrSize, frameClass, txMode, rxMode, txAddr, rxAddr, command
        QTest::addColumn<QList<uint>>("fields");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("digits");
        goldenRow("scan usb", {1, 4, 0x18, 0x20, 2, 0, 0, 0, 0x31}, "", "BD0231F0");
        goldenRow("request", {1, 4, 0x18, 0x20, 2, 3, 0, 0x3F000102, 0x1F}, "3FF1", "BD0E3F0001021F3FF15C");
        goldenRow("ack", {1, 0, 0x18, 0x60, 2, 3, 0, 0x3F000102, 1}, "", "F90E3F000102014A");
        goldenRow("8-bit", {1, 4, 8, 0x20, 3, 3, 5, 0x81, 0x31}, "", "AD0F05813173");
        goldenRow("16-bit", {1, 0, 0x10, 0x20, 3, 3, 0x1234, 0xABCD, 0x31}, "", "B10F1234ABCD31AF");
        goldenRow("mode 3, no size", {1, 4, 0, 0x20, 3, 0, 0, 0, 0x31}, "", "A50331D9");
        // 48 bytes with the checksum: the longest frame that the record keeps in place.
        goldenRow("48 bytes", {1, 4, 0x18, 0x20, 2, 3, 0, 0x3F000102, 0x1F},
                  "202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F4041424344454647",
                  "BD0E3F0001021F202122232425262728292A2B2C2D2E2F303132333435363738393A3B3C3D3E3F404142434445"
                  "464738");
    }

    void goldenFrames()
    {
        QFETCH(QList<uint>, fields);
        QFETCH(QByteArray, data);
        QFETCH(QByteArray, digits);
        const QByteArray text = stxEtx(digits), binary = QByteArray::fromHex(digits);
        MyFrameDec built;
        QVERIFY(built.setFrame(int(fields[0]), int(fields[1]), int(fields[2]), int(fields[3]), int(fields[4]),
                               int(fields[5]), fields[6], fields[7], int(fields[8]), data));
        LogCapture log;
        for (const MyFrameDec &f :
             {built, MyFrameDec(text, false), MyFrameDec(text.toLower(), false), MyFrameDec(binary, true)}) {
            QCOMPARE((QList<uint>{uint(f.frameType()), uint(f.ackRequest()), uint(f.addrSize()),
                                  uint(f.frameClass()), uint(f.txMode()), uint(f.rxMode()), f.txAddr(),
                                  f.rxAddr(), uint(f.command())}),
                     fields);
            QCOMPARE(f.data(), data);
            QCOMPARE(f.text(), text);
            QCOMPARE(f.rawFrame(), binary);
            QVERIFY(f.isValid());
        }
        QCOMPARE(log.lines(), QStringList());
    }

    void decodeStops_data()
    {
        QTest::addColumn<QByteArray>("raw"); // the other columns: as read after the decode
        QTest::addColumn<QStringList>("log");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("command");
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QByteArray>("rawFrame");
        QTest::addColumn<QByteArray>("text");
        // The diagnostics as the decoder's description words them, each line's items streamed.
        const auto line = LogCapture::streamed;
        stopRow(
            "one option byte", "023133",
            {line({"Incomplete header. ", "1", " option bytes detected but 2 options bytes are expected."})},
            false, 0, "", "0231", false);
        stopRow("three option bytes", "BD82023172",
                {line({"Big header not handled. ", "3",
                       "option bytes detected but 2 options bytes are expected."})},
                false, 0, "", "BD820231", false);
        stopRow("short tx address", "BD033F000100", {"rawFrame is too short fo TXAddr"}, false, 0, "",
                "3F0001", false);
        stopRow("short rx address", "B10C12CF", {"rawFrame is too short for RXAddr"}, false, 0, "", "12",
                false);
        stopRow("no command", "BD02BF", {"rawFrame is too short. No command !"}, false, 0, "", "", false);
        stopRow("checksum mismatch", "BD0231F1",
                {line({"checksums mismatch. Rx=", "241", " != Calc=", "240"})}, false, 0x31, "", "BD0231F0",
                true);
        stopRow("unknown command", "BD0207C6",
                {line({"Raw Command not handled : ", "7"}), line({"Unhandled/Invalid command : ", "\x07"})},
                true, 0, "", "BD0200BF", true);
        stopRow("bits 4-6 of option byte 1", "BD723160", {}, true, 0x31, "", "BD0231F0", true);
        // Pairs that are not two hex digits ("+1", " 1"): fuzz_frame_transport and its corpus.
    }

    void decodeStops()
    {
        QFETCH(QByteArray, raw);
        QFETCH(QStringList, log);
        LogCapture capture;
        const MyFrameDec frame(raw, false);
        QCOMPARE(capture.lines(), log);
        QTEST(frame.isValid(), "valid");
        QTEST(frame.command(), "command");
        QTEST(frame.data(), "data");
        QTEST(frame.rawFrame(), "rawFrame");
        QTEST(frame.text(), "text");
    }

    // setFrame keeps the copy of the width it encodes and clears the others; the setAddresses family
    // leaves the other widths' copies alone; completion fills in the width the frame did not carry.
    void addressForms()
    {
        MyFrameDec frame;
        frame.setFrame(1, 0x04, 0x18, 0x20, 3, 3, 0x11223344, 0x55667788, 0x31, {});
        QVERIFY(frame.setAddresses16(3, 0xABCD, 3, 0x1234));
        QCOMPARE(frame.text(), stxEtx("B50FABCD123431B3"));
        QCOMPARE(addresses(frame), (QList<uint>{0xABCD, 0xABCD, 0x11223344, 0x1234, 0x1234, 0x55667788}));
        QVERIFY(frame.setAddresses32(2, 0, 3, 0x3F000102));
        QCOMPARE(frame.text(), stxEtx("BD0E3F000102313E"));
        QCOMPARE(addresses(frame), (QList<uint>{0, 0xABCD, 0, 0x3F000102, 0x1234, 0x3F000102}));
        frame.setFrame(1, 0, 0x10, 0x20, 3, 0, 0x12345, 0x6789A, 0x31, {});
        QCOMPARE(frame.text(), stxEtx("B1032345314D"));
        QCOMPARE(addresses(frame), (QList<uint>{0x12345, 0x2345, 0, 0x6789A, 0x789A, 0}));
        frame.setFrame(1, 0, 0, 0x20, 2, -1, 0, 0, 0x31, {}); // a negative mode: its low bits, no UB
        QCOMPARE(frame.text(), stxEtx("A1FE31D0"));

        MyFrameDec both16(stxEtx("B10F1234ABCD31AF"), false);
        QVERIFY(both16.completeTxAddr(0x1234, 0x3F001234));
        QCOMPARE(addresses(both16), (QList<uint>{0x1234, 0x1234, 0x3F001234, 0xABCD, 0xABCD, 0}));
        MyFrameDec rx32(stxEtx("BD0E3F0001021F3FF15C"), false);
        QVERIFY(!rx32.completeRxAddr(0x1234, 0x3F000103));
        QVERIFY(!MyFrameDec(stxEtx("BD0231F0"), false).completeRxAddr(0, 0)); // names no addressee
        QVERIFY(rx32.completeRxAddr(0x1234, 0x3F000102));
        QCOMPARE(addresses(rx32), (QList<uint>{0, 0, 0, 0x3F000102, 0x1234, 0x3F000102}));
        QTest::ignoreMessage(QtDebugMsg, qPrintable(LogCapture::streamed({"Unhandled FromAddr", "8"})));
        QVERIFY(!MyFrameDec(stxEtx("AD0F05813173"), false).completeTxAddr(0x1234, 0));
    }

    // The 123 (code, name) pairs of commands.tsv, written down apart from the code; no other code is known.
    void commandTable()
    {
        QFile file(QFINDTESTDATA("commands.tsv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QMap<int, QString> names;
        for (const QString &line : QString::fromLatin1(file.readAll()).split('\n', Qt::SkipEmptyParts))
            names.insert(line.section('\t', 0, 0).toInt(), line.section('\t', 1));
        QCOMPARE(names.size(), 123);
        LogCapture quiet;
        for (int code = 0; code < 256; ++code) {
            int command = -1;
            QCOMPARE(MyFrameDec::isKnownCommand(command, quint8(code)), names.contains(code));
            QCOMPARE(MyFrameDec::commandName(code),
                     names.value(code, "MyFrameDec:: unknown command : " + QString::number(code)));
        }
        QMap<int, QString> table{{0, "MINE"}, {0x31, "OLD"}};
        MyFrameDec::fillCommandTable(table); // known codes replaced, others kept
        names.insert(0, "MINE");
        QCOMPARE(table, names);
    }
};

QTEST_GUILESS_MAIN(TstMyFrameDec)
#include "tst_myframedec.moc"
