// The scan and erase jobs on a manager over the fake USB bus master.

#include "busscan.h"
#include "dalierase.h"
#include "faked2xxdriver.h"
#include "fakeethmodule.h"
#include "mydiftdi.h"
#include "mytreatcompc.h"
#include "testbytes.h"

#include <QSignalSpy>
#include <QtTest>

namespace {

// The master's reports and the modules' acknowledgements, to this PC over USB.
const QByteArray scanAck = "B90801C2";
const QByteArray scanStarted = "BD0863022A";
const QByteArray scanEnded = "BD08630129";
const QByteArray count300 = "BD0837012C29";
const QByteArray moduleAck = "F90B3F12D68701B3";

const QString lost = "Not connected to URL: the link was lost before ";
const QString incomplete = QStringLiteral("Scan incomplete: no report from the bus master for 0.3 s.");
const QString noAnswer = QStringLiteral("No answer from the bus master.");

// A master that reports from its own address: the report sent from sender mode 3 and 00A5B6C7.
QByteArray fromOwnAddress(const QByteArray &report)
{
    if (report.size() < 4 || !report.startsWith("BD08"))
        return report;
    QByteArray bytes = QByteArray::fromHex("BD0B00A5B6C7") + QByteArray::fromHex(report.mid(4)).chopped(1);
    quint8 sum = 0;
    for (const char byte : bytes)
        sum = quint8(sum + quint8(byte));
    return (bytes + char(sum)).toHex().toUpper();
}

// EthGone: the UDP module goes away after the frames; AccessDenied: it ends the session;
// AckFails: the writes of our acknowledgement fall short.
// EthSilent: over UDP, the master falls silent.
enum Fault { None, Unplug, NotConnected, EthGone, AccessDenied, AckFails, EthSilent };

} // namespace

class tst_Workflow : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeD2xxScope> usb;
    std::unique_ptr<FakeEthModule> eth;
    std::unique_ptr<MyTreatComPc> manager;

    FakeUsbDevice &master() { return usb->driver().device(0); }
    void connectFor(int fault)
    {
        if (fault == NotConnected) {
            manager = std::make_unique<MyTreatComPc>(QString());
        } else if (fault == EthGone || fault == AccessDenied || fault == EthSilent) {
            eth = std::make_unique<FakeEthModule>();
            // The module answers LOGIN at once; its logout wait is not what these rows are about.
            manager = std::make_unique<MyTreatComPc>(QString());
            manager->setEthWaits(500, 100);
            manager->open(eth->url());
            manager->policyDefault.timeout = 6;
            manager->policyDefault.retries = 1;
        } else if (fault == AckFails) {
            master().writeScript = {{FT_OK, -1}, {FT_OK, 2}, {FT_OK, 2}};
        }
    }
    // Starts the job, plays the bus's side, and checks that the job ends exactly once. In `frames`, an
    // empty entry is a pause, "resent" waits for the request's second transmission.
    void run(BusJob &job, const QByteArrayList &frames, int fault)
    {
        QSignalSpy finished(&job, &BusJob::result);
        QElapsedTimer clock;
        clock.start();
        job.start();
        for (const QByteArray &frame : frames) {
            if (frame == "resent") {
                QTRY_COMPARE(master().written.count(transport("BD0231F0")), 2);
                continue;
            }
            if (!frame.isEmpty()) {
                eth ? eth->send(transport(frame)) : void(master().rxWaiting += transport(frame));
                continue;
            }
            QTRY_VERIFY(master().rxWaiting.isEmpty()); // then a pause, shorter than the watchdog's 300 ms
            QTest::qWait(150);
        }
        if (fault == Unplug) {
            QTRY_VERIFY(master().rxWaiting.isEmpty());
            usb->driver().unplug(0);
        }
        if (fault == EthGone) {
            QTRY_VERIFY(eth->messages.contains(transport("F90101FB"))); // our ack of the last report
            eth.reset();
        }
        if (fault == AccessDenied)
            eth->send("INFO:Access denied\r\n");
        QTRY_COMPARE(finished.count(), 1);
        const BusJob::Outcome outcome = job.outcome();
        const int hellos = eth ? int(eth->messages.count("HELLO")) : 0;
        // A time limit reached after the end, the first resend the request would have had (300 ms
        // after it), the watchdog and late frames: none ends the job again or changes how it ended.
        job.stop(QStringLiteral("late stop"));
        QTest::qWait(int(qMax<qint64>(150, 350 - clock.elapsed())));
        QCOMPARE(finished.count(), 1);
        QCOMPARE(job.outcome(), outcome);
        // The link is no longer probed for a job that has ended.
        if (eth)
            QCOMPARE(int(eth->messages.count("HELLO")), hellos);
    }

private slots:
    void init()
    {
        usb = std::make_unique<FakeD2xxScope>();
        usb->driver().addDevice();
        manager = std::make_unique<MyTreatComPc>(masterUrl);
        // Two transmissions 300 ms apart: an unanswered request is given up after 600 ms, later than the
        // watchdog's 300 ms after the master's last report.
        manager->policyDefault.timeout = 6;
        manager->policyDefault.retries = 1;
    }
    void cleanup()
    {
        manager.reset();
        eth.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        usb.reset();
    }

    void scan_data()
    {
        QTest::addColumn<QByteArrayList>("reports");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("outcome"); // as the JSON and CSV inventories name it
        QTest::addColumn<QString>("status");  // the last progress line, or the failure's message
        QTest::addColumn<QStringList>("dali");
        QTest::addColumn<int>("sends"); // of the scan request
        const QStringList both{"LUX42 s/n:1234567 v3", "LUX42 s/n:5 v7"};
        QTest::newRow("in order, each twice")
            << QByteArrayList{scanAck, scanStarted, scanStarted, count300, count300,
                              table3,  table3,      scanEnded,   scanEnded}
            << int(None) << "completed"
            << "2 cards found." << both << 1;
        // Longer than the watchdog in all, but every report comes within it of the one before.
        QTest::newRow("paced") << QByteArrayList{scanAck, "",     scanStarted, "",       count300,
                                                 "",      table3, "",          scanEnded}
                               << int(None) << "completed"
                               << "2 cards found." << both << 1;
        QTest::newRow("no end of scan") << QByteArrayList{scanAck, scanStarted, table3} << int(None)
                                        << "incomplete" << incomplete << both << 1;
        // Where the request's wait is at stake: against a master reporting from sender mode 0, and
        // one reporting from its own address.
        for (const bool own : {false, true}) {
            const auto name = [own](const char *row) {
                return QByteArray(row) + (own ? ", own address" : "");
            };
            const auto reports = [own](QByteArrayList frames) {
                if (own)
                    std::transform(frames.begin(), frames.end(), frames.begin(), fromOwnAddress);
                return frames;
            };
            // The acknowledgement was lost, yet the master is evidently scanning: a resend would restart
            // it. The scan lasts longer than the request's first resend would wait.
            QTest::newRow(name("reports without the ack"))
                << reports({scanStarted, "", count300, "", table3, "", scanEnded}) << int(None) << "completed"
                << "2 cards found." << both << 1;
            // Reports the scan cannot read (a count of one byte, a table without its marker) show
            // nothing: the request goes again and is given up.
            QTest::newRow(name("unusable reports without the ack"))
                << reports({"BD083701FD", "BD081600010000000000DC"}) << int(None) << "no-answer" << noAnswer
                << QStringList{} << 2;
            // The end report of an earlier scan, resent by the master, while the request was lost: it
            // ends neither the request's wait nor the scan.
            QTest::newRow(name("end of an earlier scan, request lost"))
                << reports({scanEnded, "resent", scanAck, scanStarted, table3, scanEnded}) << int(None)
                << "completed"
                << "2 cards found." << both << 2;
        }
        QTest::newRow("nobody answers")
            << QByteArrayList{} << int(None) << "no-answer" << noAnswer << QStringList{} << 2;
        const QString lostScan = lost + "the end of the scan.";
        QTest::newRow("unplugged mid-way") << QByteArrayList{scanAck, scanStarted} << int(Unplug)
                                           << "link-lost" << lostScan << QStringList{} << 1;
        // Over Ethernet (this PC in mode 1) the master acknowledges and reports, then falls silent and the
        // module is gone: the probe's refused datagram tells, before the watchdog would.
        QTest::newRow("UDP module gone mid-way") << QByteArrayList{"F90401FE", "BD04630226"} << int(EthGone)
                                                 << "link-lost" << lostScan << QStringList{} << 1;
        // Over Ethernet the link is probed five times per watchdog interval while the master is silent.
        QTest::newRow("UDP, master silent") << QByteArrayList{"F90401FE", "BD04630226"} << int(EthSilent)
                                            << "incomplete" << incomplete << QStringList{} << 1;
        QTest::newRow("not connected") << QByteArrayList{} << int(NotConnected) << "send-failed"
                                       << "Error while sending frame. Please retry..." << QStringList{} << 0;
    }

    void scan()
    {
        QFETCH(QByteArrayList, reports);
        QFETCH(QString, outcome);
        QFETCH(int, fault);
        if (fault == EthGone && !FakeEthModule::refusalsReported())
            QSKIP("a refused datagram is not reported on this platform");
        connectFor(fault);
        BusScan scan(manager.get());
        scan.setWatchdogMs(300);
        QStringList statuses;
        connect(&scan, &BusJob::progress, this, [&statuses](const QString &line) { statuses << line; });
        run(scan, reports, fault);

        const ScanResult result = scan.scanResult();
        // Every 60 ms through the master's 300 ms of silence.
        if (fault == EthSilent)
            QVERIFY2(eth->messages.count("HELLO") >= 3,
                     qPrintable(QString::number(eth->messages.count("HELLO"))));
        QCOMPARE(result.toJson().value("outcome").toString(), outcome);
        QCOMPARE(QString(result.toCsv()).section('\n', 1, -2).section(',', 2, 2), outcome);
        QFETCH(QString, status);
        QCOMPARE(result.completed() ? statuses.last() : result.message,
                 status.replace("URL", manager->urlString()));
        QStringList dali;
        for (const ModuleTable::Module &module : result.table.daliInterfaces())
            dali << module.label();
        QTEST(dali, "dali");
        QCOMPARE(statuses.first(), "KVMX will start bus scanning. Please wait...");
        if (fault != EthGone && fault != EthSilent)
            QTEST(int(master().written.count(transport("BD0231F0"))), "sends");
    }

    void erase_data()
    {
        QTest::addColumn<QByteArrayList>("answers");
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("outcome"); // as the JSON and the soak name it
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("sends");
        const QString module = QStringLiteral("LUX42 s/n:1234567 v3");
        QTest::newRow("acknowledged")
            << QByteArrayList{moduleAck} << int(None) << "accepted"
            << module + " accepted the erase of its DALI short addresses and groups." << 1;
        // Only the drop of the erase request ends the wait, not a failed ack of the master's report.
        QTest::newRow("ack of a report fails")
            << QByteArrayList{count300, moduleAck} << int(AckFails) << "accepted"
            << module + " accepted the erase of its DALI short addresses and groups." << 1;
        // The master's acknowledgement is no answer from the module.
        QTest::newRow("not acknowledged")
            << QByteArrayList{scanAck} << int(None) << "not-acknowledged"
            << module + " did not acknowledge the erase after 2 attempts. Nothing is known to be erased."
            << 2;
        QTest::newRow("unplugged") << QByteArrayList{} << int(Unplug) << "link-lost"
                                   << lost + module +
                                          " acknowledged the erase. Nothing is known to be erased."
                                   << 1;
        // The link is gone from the start of the logout wait, not a silent module then.
        QTest::newRow("access denied")
            << QByteArrayList{} << int(AccessDenied) << "link-lost"
            << lost + module + " acknowledged the erase. Nothing is known to be erased." << 1;
        QTest::newRow("not connected") << QByteArrayList{} << int(NotConnected) << "send-failed"
                                       << "Error while sending frame. Please retry..." << 0;
    }

    void erase()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(int, fault);
        connectFor(fault);
        DaliErase erase(manager.get(), 0x3F12D687, QStringLiteral("LUX42 s/n:1234567 v3"));
        run(erase, answers, fault);
        QTEST(BusJob::outcomeName(erase.outcome()), "outcome");
        QFETCH(QString, message);
        QCOMPARE(erase.text(), message.replace("URL", manager->urlString()));
        if (fault != AccessDenied)
            QTEST(int(master().written.count(transport("BD0E3F12D6871F3FF1C8"))), "sends");
    }
};

QTEST_MAIN(tst_Workflow)
#include "tst_workflow.moc"
