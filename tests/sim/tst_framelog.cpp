// The simulator's frame log as JSON lines, as a program reads it.
#include "framelog.h"
#include "myframedec.h"

#include <QBuffer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

class TstFrameLog : public QObject
{
    Q_OBJECT

private slots:
    // One object a line, beside the readable line; the frame's validity is that of its bytes as they
    // travelled (here with a broken checksum), not that of the frame meant.
    void jsonLines()
    {
        QBuffer readable, json;
        readable.open(QIODevice::WriteOnly);
        json.open(QIODevice::WriteOnly);
        FrameLog log(&readable);
        log.setJsonDevice(&json);
        const MyFrameDec ack(QByteArray("\x02"
                                        "F90E3F12D68701B6"
                                        "\x03"),
                             false);
        QVERIFY(ack.isValid());
        log.frame(FrameLog::ToPc, ack,
                  "\x02"
                  "F90E3F12D68701B7"
                  "\x03",
                  QStringLiteral("checksum corrupted"));
        log.frame(FrameLog::FromPc, ack,
                  "\x02"
                  "F90E3F12D68701B6"
                  "\x03");
        log.event(QStringLiteral("  scan finished"));
        log.session(QStringLiteral("127.0.0.1:5000"), QStringLiteral("session opened"));
        QList<QJsonObject> records;
        for (const QByteArray &line : json.data().split('\n'))
            if (!line.isEmpty())
                records << QJsonDocument::fromJson(line).object();
        QCOMPARE(records.size(), 4);
        QCOMPARE(readable.data().count('\n'), 4);
        for (QJsonObject &record : records)
            QVERIFY(record.take("t").toDouble(-1) >= 0);
        const QJsonObject corrupted{{"kind", "frame"},
                                    {"dir", "bus-to-pc"},
                                    {"wire", "\x02"
                                             "F90E3F12D68701B7"
                                             "\x03"},
                                    {"note", "checksum corrupted"},
                                    {"valid", false},
                                    {"command", 1},
                                    {"txMode", 2},
                                    {"txAddr", 0},
                                    {"rxMode", 3},
                                    {"rxAddr", 0x3F12D687},
                                    {"data", ""}};
        QCOMPARE(records[0], corrupted);
        QCOMPARE(records[1].value("dir").toString(), "pc-to-bus");
        QCOMPARE(records[1].value("valid").toBool(), true);
        QCOMPARE(records[2], (QJsonObject{{"kind", "event"}, {"text", "scan finished"}}));
        QCOMPARE(records[3],
                 (QJsonObject{{"kind", "session"}, {"peer", "127.0.0.1:5000"}, {"text", "session opened"}}));
    }
};

QTEST_GUILESS_MAIN(TstFrameLog)
#include "tst_framelog.moc"
