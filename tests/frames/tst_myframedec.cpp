#include "myframedec.h"

#include <QtTest>

namespace {

QByteArray stxEtx(const QByteArray &digits)
{
    return QByteArray("\x02") + digits + QByteArray("\x03");
}

// Collects every log line while alive, so a test sees exactly what was logged, and that nothing was.
class LogCapture
{
public:
    LogCapture() { lines.clear(); }
    ~LogCapture() { qInstallMessageHandler(previous); }
    static inline QStringList lines;

private:
    static void capture(QtMsgType, const QMessageLogContext &, const QString &msg) { lines.append(msg); }
    QtMessageHandler previous = qInstallMessageHandler(&LogCapture::capture);
};

// txAddr, txAddr16, txAddr32, rxAddr, rxAddr16, rxAddr32
QList<uint> addresses(const MyFrameDec &frame)
{
    return {frame.txAddr(), frame.txAddr16(), frame.txAddr32(),
            frame.rxAddr(), frame.rxAddr16(), frame.rxAddr32()};
}

} // namespace

class TstMyFrameDec : public QObject
{
    Q_OBJECT

private slots:
    void goldenFrames_data();
    void goldenFrames();
    void decodeStops_data();
    void decodeStops();
    void addressWidths();
    void completeAddr_data();
    void completeAddr();
    void setDataDoesNotReencode();
    void knownCommands_data();
    void knownCommands();
    void commandNames_data();
    void commandNames();
    void fillCommandTable();
};

void TstMyFrameDec::goldenFrames_data()
{
    QTest::addColumn<QList<int>>("header"); // frameType, ackRequest, addrSize, frameClass, txMode, rxMode
    QTest::addColumn<quint32>("txAddr");
    QTest::addColumn<quint32>("rxAddr");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("text");

    const QByteArray eraseData = QByteArray::fromHex("3FF1");
    QTest::newRow("scan usb") << QList<int>{1, 0x04, 0x18, 0x20, 2, 0} << 0u << 0u << 0x31 << QByteArray()
                              << stxEtx("BD0231F0");
    QTest::newRow("scan udp") << QList<int>{1, 0x04, 0x18, 0x20, 1, 0} << 0u << 0u << 0x31 << QByteArray()
                              << stxEtx("BD0131EF");
    QTest::newRow("request") << QList<int>{1, 0x04, 0x18, 0x20, 2, 3} << 0u << 0x3F000102u << 0x1F
                             << eraseData << stxEtx("BD0E3F0001021F3FF15C");
    QTest::newRow("erase") << QList<int>{1, 0x04, 0x18, 0x20, 2, 3} << 0u << 0x3F12D687u << 0x1F << eraseData
                           << stxEtx("BD0E3F12D6871F3FF1C8");
    QTest::newRow("ack") << QList<int>{1, 0, 0x18, 0x60, 2, 3} << 0u << 0x3F000102u << 0x01 << QByteArray()
                         << stxEtx("F90E3F000102014A");
    QTest::newRow("8-bit") << QList<int>{1, 0x04, 0x08, 0x20, 3, 3} << 5u << 0x81u << 0x31 << QByteArray()
                           << stxEtx("AD0F05813173");
    QTest::newRow("16-bit") << QList<int>{1, 0, 0x10, 0x20, 3, 3} << 0x1234u << 0xABCDu << 0x31
                            << QByteArray() << stxEtx("B10F1234ABCD31AF");
    QTest::newRow("mode 3, no size") << QList<int>{1, 0x04, 0, 0x20, 3, 0} << 0u << 0u << 0x31 << QByteArray()
                                     << stxEtx("A50331D9");
}

void TstMyFrameDec::goldenFrames()
{
    QFETCH(QList<int>, header);
    QFETCH(quint32, txAddr);
    QFETCH(quint32, rxAddr);
    QFETCH(int, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, text);
    const QByteArray binary = QByteArray::fromHex(text.mid(1, text.size() - 2));

    MyFrameDec built;
    QVERIFY(built.setFrame(header[0], header[1], header[2], header[3], header[4], header[5], txAddr, rxAddr,
                           command, data));
    LogCapture log;
    for (const MyFrameDec &frame :
         {built, MyFrameDec(text, false), MyFrameDec(text.toLower(), false), MyFrameDec(binary, true)}) {
        const QList<int> fields{frame.frameType(),  frame.ackRequest(), frame.addrSize(),
                                frame.frameClass(), frame.txMode(),     frame.rxMode()};
        QCOMPARE(fields, header);
        QCOMPARE(frame.txAddr(), txAddr);
        QCOMPARE(frame.rxAddr(), rxAddr);
        QCOMPARE(frame.command(), command);
        QCOMPARE(frame.data(), data);
        QCOMPARE(frame.text(), text);
        QCOMPARE(frame.rawFrame(), binary);
        QVERIFY(frame.isValid());
    }
    QCOMPARE(MyFrameDec(text, false).rxChecksum(), quint8(binary.back()));
    QCOMPARE(LogCapture::lines, QStringList());
}

void TstMyFrameDec::decodeStops_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("command");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QByteArray>("rawFrame");
    QTest::addColumn<QByteArray>("text");

    const QString incomplete(
        "Incomplete header.  %1  option bytes detected but 2 options bytes are expected.");
    QTest::newRow("odd length") << stxEtx("BD0231F") << QStringList() << false << 0 << QByteArray()
                                << QByteArray() << QByteArray();
    QTest::newRow("empty") << QByteArray() << QStringList{incomplete.arg(0)} << false << 0 << QByteArray()
                           << QByteArray() << QByteArray();
    QTest::newRow("stx etx") << stxEtx("") << QStringList{incomplete.arg(0)} << false << 0 << QByteArray()
                             << QByteArray() << QByteArray();
    QTest::newRow("one option byte") << stxEtx("023133") << QStringList{incomplete.arg(1)} << false << 0
                                     << QByteArray() << QByteArray::fromHex("0231") << QByteArray();
    QTest::newRow("three option bytes")
        << stxEtx("BD82023172")
        << QStringList{"Big header not handled.  3 option bytes detected but 2 options bytes are expected."}
        << false << 0 << QByteArray() << QByteArray::fromHex("BD820231") << QByteArray();
    QTest::newRow("short tx address")
        << stxEtx("BD033F000100") << QStringList{"rawFrame is too short fo TXAddr"} << false << 0
        << QByteArray() << QByteArray::fromHex("3F0001") << QByteArray();
    QTest::newRow("short rx address")
        << stxEtx("B10C12CF") << QStringList{"rawFrame is too short for RXAddr"} << false << 0 << QByteArray()
        << QByteArray::fromHex("12") << QByteArray();
    QTest::newRow("no command") << stxEtx("BD02BF") << QStringList{"rawFrame is too short. No command !"}
                                << false << 0 << QByteArray() << QByteArray() << QByteArray();
    QTest::newRow("checksum mismatch")
        << stxEtx("BD0231F1") << QStringList{"checksums mismatch. Rx= 241  != Calc= 240"} << false << 0x31
        << QByteArray() << QByteArray::fromHex("BD0231F0") << stxEtx("BD0231F0");
    QTest::newRow("checksum mismatch, 16-bit")
        << stxEtx("B10F1234ABCD31AF00") << QStringList{"checksums mismatch. Rx= 0  != Calc= 94"} << false
        << 0x31 << QByteArray::fromHex("AF") << QByteArray::fromHex("B10F1234ABCD31AF5E")
        << stxEtx("B10F1234ABCD31AF5E");
    QTest::newRow("unknown command") << stxEtx("BD0207C6")
                                     << QStringList{"Raw Command not handled :  7",
                                                    "Unhandled/Invalid command :  \x07"}
                                     << true << 0 << QByteArray() << QByteArray::fromHex("BD0200BF")
                                     << stxEtx("BD0200BF");
    QTest::newRow("bits 4-6 of option byte 1")
        << stxEtx("BD723160") << QStringList() << true << 0x31 << QByteArray()
        << QByteArray::fromHex("BD0231F0") << stxEtx("BD0231F0");
    // Only two hex digits make a byte: what else a lenient number parser would take is line noise.
    for (const char *pair : {"G1", "+1", " 1", "1 ", "-1"}) {
        QTest::newRow(pair) << stxEtx(QByteArray("BD0231") + pair + "F0") << QStringList() << true << 0x31
                            << QByteArray(1, '\0') << QByteArray::fromHex("BD023100F0")
                            << stxEtx("BD023100F0");
    }
}

void TstMyFrameDec::decodeStops()
{
    QFETCH(QByteArray, raw);
    QFETCH(QStringList, log);
    QFETCH(bool, valid);
    QFETCH(int, command);
    QFETCH(QByteArray, data);
    QFETCH(QByteArray, rawFrame);
    QFETCH(QByteArray, text);

    LogCapture capture;
    const MyFrameDec frame(raw, false);
    QCOMPARE(LogCapture::lines, log);
    QCOMPARE(frame.isValid(), valid);
    QCOMPARE(frame.command(), command);
    QCOMPARE(frame.data(), data);
    QCOMPARE(frame.rawFrame(), rawFrame);
    QCOMPARE(frame.text(), text);
}

void TstMyFrameDec::addressWidths()
{
    MyFrameDec frame;
    frame.setFrame(1, 0x04, 0x18, 0x20, 3, 3, 0x11223344, 0x55667788, 0x31, {});
    QCOMPARE(addresses(frame), (QList<uint>{0x11223344, 0, 0x11223344, 0x55667788, 0, 0x55667788}));
    frame.setFrame(1, 0, 0x10, 0x20, 3, 0, 0x12345, 0x6789A, 0x31, {});
    QCOMPARE(frame.text(), stxEtx("B1032345314D"));
    QCOMPARE(addresses(frame), (QList<uint>{0x12345, 0x2345, 0, 0x6789A, 0x789A, 0}));
    frame.setFrame(1, 0, 0x08, 0x20, 3, 0, 0x105, 0, 0x31, {});
    QCOMPARE(addresses(frame), (QList<uint>{0x105, 0, 0, 0, 0, 0}));

    // Unlike setFrame, the setAddresses family leaves the copies of the other widths alone.
    frame.setFrame(1, 0x04, 0x18, 0x20, 3, 3, 0x11223344, 0x55667788, 0x31, {});
    QVERIFY(frame.setAddresses16(3, 0xABCD, 3, 0x1234));
    QCOMPARE(frame.text(), stxEtx("B50FABCD123431B3"));
    QCOMPARE(addresses(frame), (QList<uint>{0xABCD, 0xABCD, 0x11223344, 0x1234, 0x1234, 0x55667788}));
    QVERIFY(frame.setAddresses8(3, 0x05, 3, 0x81));
    QCOMPARE(frame.text(), stxEtx("AD0F05813173"));
    QCOMPARE(addresses(frame), (QList<uint>{0x05, 0xABCD, 0x11223344, 0x81, 0x1234, 0x55667788}));
    QVERIFY(frame.setAddresses32(2, 0, 3, 0x3F000102));
    QCOMPARE(frame.text(), stxEtx("BD0E3F000102313E"));
    QCOMPARE(addresses(frame), (QList<uint>{0, 0xABCD, 0, 0x3F000102, 0x1234, 0x3F000102}));
}

void TstMyFrameDec::completeAddr_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("receiver");
    QTest::addColumn<quint32>("longAddr"); // the short form asked for is always 0x1234
    QTest::addColumn<bool>("completed");
    QTest::addColumn<QList<uint>>("after");
    QTest::addColumn<QStringList>("log");

    const QByteArray both16 = stxEtx("B10F1234ABCD31AF");
    const QByteArray rx32 = stxEtx("BD0E3F0001021F3FF15C");
    const QByteArray both8 = stxEtx("AD0F05813173");
    const QList<uint> both16Decoded{0x1234, 0x1234, 0, 0xABCD, 0xABCD, 0};
    const QList<uint> rx32Decoded{0, 0, 0, 0x3F000102, 0, 0x3F000102};
    const QList<uint> both8Decoded{5, 0, 0, 0x81, 0, 0};
    QTest::newRow("tx 16 match") << both16 << false << 0x3F001234u << true
                                 << QList<uint>{0x1234, 0x1234, 0x3F001234, 0xABCD, 0xABCD, 0}
                                 << QStringList();
    QTest::newRow("rx 16 other") << both16 << true << 0x3F001234u << false << both16Decoded << QStringList();
    QTest::newRow("rx 32 match") << rx32 << true << 0x3F000102u << true
                                 << QList<uint>{0, 0, 0, 0x3F000102, 0x1234, 0x3F000102} << QStringList();
    QTest::newRow("rx 32 other") << rx32 << true << 0x3F000103u << false << rx32Decoded << QStringList();
    QTest::newRow("tx mode 2") << rx32 << false << 0u << false << rx32Decoded << QStringList();
    QTest::newRow("rx mode 0") << stxEtx("BD0231F0") << true << 0u << false << QList<uint>{0, 0, 0, 0, 0, 0}
                               << QStringList();
    QTest::newRow("tx 8-bit") << both8 << false << 0u << false << both8Decoded
                              << QStringList{"Unhandled FromAddr 8"};
    QTest::newRow("rx 8-bit") << both8 << true << 0u << false << both8Decoded << QStringList();
}

void TstMyFrameDec::completeAddr()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, receiver);
    QFETCH(quint32, longAddr);
    QFETCH(bool, completed);
    QFETCH(QList<uint>, after);
    QFETCH(QStringList, log);

    MyFrameDec frame(text, false);
    LogCapture capture;
    QCOMPARE(receiver ? frame.completeRxAddr(0x1234, longAddr) : frame.completeTxAddr(0x1234, longAddr),
             completed);
    QCOMPARE(addresses(frame), after);
    QCOMPARE(LogCapture::lines, log);
    QCOMPARE(frame.text(), text);
}

void TstMyFrameDec::setDataDoesNotReencode()
{
    MyFrameDec frame;
    frame.setFrame(1, 0x04, 0x18, 0x20, 2, 0, 0, 0, 0x31, {});
    frame.setData(QByteArray::fromHex("01"));
    frame.appendData(QByteArray::fromHex("02"));
    QCOMPARE(frame.data(), QByteArray::fromHex("0102"));
    QCOMPARE(frame.text(), stxEtx("BD0231F0"));
    QVERIFY(frame.encode());
    QCOMPARE(frame.text(), stxEtx("BD02310102F3"));
}

void TstMyFrameDec::knownCommands_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("known");

    for (int code : {1, 6, 16, 58, 64, 75, 96, 125, 128, 159})
        QTest::newRow(qPrintable(QString::number(code))) << code << true;
    for (int code : {0, 7, 15, 59, 63, 76, 95, 126, 127, 160, 255})
        QTest::newRow(qPrintable(QString::number(code))) << code << false;
}

void TstMyFrameDec::knownCommands()
{
    QFETCH(int, code);
    QFETCH(bool, known);

    int command = -1;
    if (!known)
        QTest::ignoreMessage(QtDebugMsg,
                             qPrintable(QStringLiteral("Raw Command not handled :  %1").arg(code)));
    QCOMPARE(MyFrameDec::isKnownCommand(command, quint8(code)), known);
    QCOMPARE(command, known ? code : -1);
}

void TstMyFrameDec::commandNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");

    // The first and last code of every run, and the codes the tool itself sends or acts upon.
    const int codes[] = {0x01, 0x02, 0x06, 0x10, 0x16, 0x1F, 0x31, 0x37,
                         0x3A, 0x40, 0x4B, 0x60, 0x63, 0x7D, 0x80, 0x9F};
    const char *names[] = {"COACKN",       "CONACK",      "CODEBUGFRAME",  "COWRITEMEM",
                           "COTRANSTABLE", "COSETDATA",   "COSCAN",        "COGIVENBRMOD",
                           "CODIDRESET",   "COREADPARAM", "COPARAMMOD10V", "COTOGGLEOUTPUT",
                           "COSENDTASK",   "CODYNACT",    "COREADSTATE",   "CORGB"};
    for (int i = 0; i < 16; ++i)
        QTest::newRow(names[i]) << codes[i] << QString(names[i]);
    QTest::newRow("0") << 0 << QString("MyFrameDec:: unknown command : 0");
    QTest::newRow("200") << 200 << QString("MyFrameDec:: unknown command : 200");
}

void TstMyFrameDec::commandNames()
{
    QFETCH(int, code);
    QFETCH(QString, name);

    QCOMPARE(MyFrameDec::commandName(code), name);
    MyFrameDec frame;
    frame.setFrame(1, 0, 0, 0, 0, 0, 0, 0, code, {});
    QCOMPARE(frame.commandName(), name);
}

void TstMyFrameDec::fillCommandTable()
{
    QMap<int, QString> table{{0, "MINE"}, {0x31, "OLD"}};
    MyFrameDec::fillCommandTable(table);
    MyFrameDec::fillCommandTable(table);
    QCOMPARE(table.size(), 124);
    QCOMPARE(table.value(0), QString("MINE"));
    QCOMPARE(table.value(0x31), QString("COSCAN"));

    QList<int> expectedCodes;
    for (const auto &run :
         {qMakePair(1, 6), qMakePair(16, 58), qMakePair(64, 75), qMakePair(96, 125), qMakePair(128, 159)}) {
        for (int code = run.first; code <= run.second; ++code)
            expectedCodes << code;
    }
    QCOMPARE(MyFrameDec().commandTable().keys(), expectedCodes);
    QCOMPARE(MyFrameDec(stxEtx("BD0231F0"), false).commandTable().size(), 123);
}

QTEST_GUILESS_MAIN(TstMyFrameDec)
#include "tst_myframedec.moc"
