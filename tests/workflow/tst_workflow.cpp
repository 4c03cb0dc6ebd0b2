// The scan and erase jobs on a manager over the fake USB bus master.

#include "busscan.h"
#include "dalierase.h"
#include "faked2xxdriver.h"
#include "fakeethmodule.h"
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
const QString incomplete =
    QStringLiteral("Scan incomplete: no report from the bus master for 0.3 s. Scan again.");

// EthGone: the UDP module goes away after the frames; AccessDenied: it ends the session;
// AckFails: the writes of our acknowledgement fall short.
enum Fault { None, Unplug, NotConnected, EthGone, AccessDenied, AckFails };

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
        } else if (fault == EthGone || fault == AccessDenied) {
            eth = std::make_unique<FakeEthModule>();
            manager = std::make_unique<MyTreatComPc>(eth->url());
            manager->policyDefault.timeout = 6;
            manager->policyDefault.retries = 1;
        } else if (fault == AckFails) {
            master().writeScript = {{FT_OK, -1}, {FT_OK, 2}, {FT_OK, 2}};
        }
    }
    // Starts the job, plays the bus's side, and checks that the job ends exactly once.
    template <class Job> void run(Job &job, const QByteArrayList &frames, int fault)
    {
        QSignalSpy finished(&job, &Job::finished);
        job.start();
        for (const QByteArray &frame : frames) {
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
        QTest::qWait(700); // resends, the drop, the watchdog and late frames must not end it again
        QCOMPARE(finished.count(), 1);
    }

private slots:
    void init()
    {
        // Unregistered, the outcome would reach the spy as an invalid QVariant, read back as Accepted.
        qRegisterMetaType<DaliErase::Outcome>();
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
        QTest::addColumn<QString>("status"); // the last progress line, or the failure's message
        QTest::addColumn<QStringList>("dali");
        QTest::addColumn<int>("sends"); // of the scan request
        const QStringList both{"LUX42 s/n:1234567 v3", "LUX42 s/n:5 v7"};
        QTest::newRow("in order, each twice")
            << QByteArrayList{scanAck, scanStarted, scanStarted, count300, count300,
                              table3,  table3,      scanEnded,   scanEnded}
            << int(None) << "completed" << "2 cards found." << both << 1;
        // Longer than the watchdog in all, but every report comes within it of the one before.
        QTest::newRow("paced") << QByteArrayList{scanAck, "", scanStarted, "", count300, "", table3, "", scanEnded}
                               << int(None) << "completed" << "2 cards found." << both << 1;
        QTest::newRow("no end of scan") << QByteArrayList{scanAck, scanStarted, table3} << int(None)
                                        << "incomplete" << incomplete << both << 1;
        // The acknowledgement was lost, yet the master is evidently scanning: a resend would restart it.
        QTest::newRow("reports without the ack")
            << QByteArrayList{scanStarted} << int(None) << "incomplete" << incomplete << QStringList{} << 1;
        QTest::newRow("nobody answers")
            << QByteArrayList{} << int(None) << "no-answer"
            << "No answer from the bus master. Check the connection, then Scan again." << QStringList{} << 2;
        const QString lostScan = lost + "the end of the scan. Check the connection, then Scan again.";
        QTest::newRow("unplugged mid-way") << QByteArrayList{scanAck, scanStarted} << int(Unplug)
                                           << "link-lost" << lostScan << QStringList{} << 1;
        // Over Ethernet (this PC in mode 1) the master acknowledges and reports, then falls silent and the
        // module is gone: the probe's refused datagram tells, before the watchdog would.
        QTest::newRow("UDP module gone mid-way")
            << QByteArrayList{"F90401FE", "BD04630226"} << int(EthGone) << "link-lost"
            << lostScan << QStringList{} << 1;
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
        connect(&scan, &BusScan::progress, this, [&statuses](const QString &line) { statuses << line; });
        run(scan, reports, fault);

        const ScanResult result = scan.result();
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
        if (fault != EthGone)
            QTEST(int(master().written.count(transport("BD0231F0"))), "sends");
    }

    void erase_data()
    {
        QTest::addColumn<QByteArrayList>("answers");
        QTest::addColumn<int>("fault");
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("sends");
        const QString module = QStringLiteral("LUX42 s/n:1234567 v3");
        QTest::newRow("acknowledged")
            << QByteArrayList{moduleAck} << int(None) << int(DaliErase::Accepted)
            << module + " accepted the erase of its DALI short addresses and groups." << 1;
        // Only the drop of the erase request ends the wait, not a failed ack of the master's report.
        QTest::newRow("ack of a report fails")
            << QByteArrayList{count300, moduleAck} << int(AckFails) << int(DaliErase::Accepted)
            << module + " accepted the erase of its DALI short addresses and groups." << 1;
        // The master's acknowledgement is no answer from the module.
        QTest::newRow("not acknowledged")
            << QByteArrayList{scanAck} << int(None) << int(DaliErase::NotAcknowledged)
            << module + " did not acknowledge the erase after 2 attempts. Nothing is known to be erased."
            << 2;
        QTest::newRow("unplugged") << QByteArrayList{} << int(Unplug) << int(DaliErase::LinkLost)
                                   << lost + module +
                                          " acknowledged the erase. Nothing is known to be erased."
                                   << 1;
        // The link is gone from the start of the logout wait, not a silent module then.
        QTest::newRow("access denied")
            << QByteArrayList{} << int(AccessDenied) << int(DaliErase::LinkLost)
            << lost + module + " acknowledged the erase. Nothing is known to be erased." << 1;
        QTest::newRow("not connected") << QByteArrayList{} << int(NotConnected) << int(DaliErase::SendFailed)
                                       << "Error while sending frame. Please retry..." << 0;
    }

    void erase()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(int, fault);
        connectFor(fault);
        DaliErase erase(manager.get(), 0x3F12D687, QStringLiteral("LUX42 s/n:1234567 v3"));
        QSignalSpy finished(&erase, &DaliErase::finished);
        run(erase, answers, fault);
        QTEST(int(finished.at(0).at(0).value<DaliErase::Outcome>()), "outcome");
        QFETCH(QString, message);
        QCOMPARE(finished.at(0).at(1).toString(), message.replace("URL", manager->urlString()));
        if (fault != AccessDenied)
            QTEST(int(master().written.count(transport("BD0E3F12D6871F3FF1C8"))), "sends");
    }
};

QTEST_MAIN(tst_Workflow)
#include "tst_workflow.moc"
