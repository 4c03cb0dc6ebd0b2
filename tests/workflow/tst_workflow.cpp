// The scan and erase jobs on a manager over the fake USB bus master.

#include "busscan.h"
#include "dalierase.h"
#include "mytreatcompc.h"
#include "windowbench.h" // masterUrl, transport(), table3

#include <QSignalSpy>
#include <QtTest>

namespace {

// The master's reports and the modules' acknowledgements, to this PC over USB.
const QByteArray scanAck = "B90801C2";
const QByteArray scanStarted = "BD0863022A";
const QByteArray scanEnded = "BD08630129";
const QByteArray count300 = "BD0837012C29";
const QByteArray moduleAck = "F90B3F12D68701B3";

const QString lost = "Not connected to " + masterUrl + ": the link was lost before ";
const QString incomplete =
    QStringLiteral("Scan incomplete: no report from the bus master for 0.3 s. Scan again.");

enum Fault { None, Unplug, NotConnected };

} // namespace

class tst_Workflow : public QObject
{
    Q_OBJECT

    std::unique_ptr<FakeD2xxScope> usb;
    std::unique_ptr<MyTreatComPc> manager;

    FakeUsbDevice &master() { return usb->driver().device(0); }
    // Starts the job, plays the bus's side, and checks that the job ends exactly once.
    template <class Job> void run(Job &job, const QByteArrayList &frames, int fault)
    {
        QSignalSpy finished(&job, &Job::finished);
        job.start();
        for (const QByteArray &frame : frames) {
            if (!frame.isEmpty()) {
                master().rxWaiting += transport(frame);
                continue;
            }
            QTRY_VERIFY(master().rxWaiting.isEmpty()); // then a pause, shorter than the watchdog's 300 ms
            QTest::qWait(150);
        }
        if (fault == Unplug) {
            QTRY_VERIFY(master().rxWaiting.isEmpty());
            usb->driver().unplug(0);
        }
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
        const QStringList both{"LUX42 s/n:1234567 v3", "LUX42 s/n:5 v7"};
        QTest::newRow("in order, each twice")
            << QByteArrayList{scanAck, scanStarted, scanStarted, count300, count300,
                              table3,  table3,      scanEnded,   scanEnded}
            << int(None) << "completed" << "2 cards found." << both;
        // Longer than the watchdog in all, but every report comes within it of the one before.
        QTest::newRow("paced") << QByteArrayList{scanAck, "", scanStarted, "", count300, "", table3, "", scanEnded}
                               << int(None) << "completed" << "2 cards found." << both;
        QTest::newRow("no end of scan") << QByteArrayList{scanAck, scanStarted, table3} << int(None)
                                        << "incomplete" << incomplete << both;
        // The request is given up unacknowledged, yet the master is evidently scanning.
        QTest::newRow("reports without the ack")
            << QByteArrayList{scanStarted} << int(None) << "incomplete" << incomplete << QStringList{};
        QTest::newRow("nobody answers")
            << QByteArrayList{} << int(None) << "no-answer"
            << "No answer from the bus master. Check the connection, then Scan again." << QStringList{};
        QTest::newRow("unplugged mid-way")
            << QByteArrayList{scanAck, scanStarted} << int(Unplug) << "link-lost"
            << lost + "the end of the scan. Check the connection, then Scan again." << QStringList{};
        QTest::newRow("not connected") << QByteArrayList{} << int(NotConnected) << "send-failed"
                                       << "Error while sending frame. Please retry..." << QStringList{};
    }

    void scan()
    {
        QFETCH(QByteArrayList, reports);
        QFETCH(QString, outcome);
        QFETCH(int, fault);
        if (fault == NotConnected)
            manager = std::make_unique<MyTreatComPc>(QString());
        BusScan scan(manager.get());
        scan.setWatchdogMs(300);
        QStringList statuses;
        connect(&scan, &BusScan::progress, this, [&statuses](const QString &line) { statuses << line; });
        run(scan, reports, fault);

        const ScanResult result = scan.result();
        QCOMPARE(result.toJson().value("outcome").toString(), outcome);
        QCOMPARE(QString(result.toCsv()).section('\n', 1, -2).section(',', 2, 2), outcome);
        QTEST(result.completed() ? statuses.last() : result.message, "status");
        QStringList dali;
        for (const ModuleTable::Module &module : result.table.daliInterfaces())
            dali << module.label();
        QTEST(dali, "dali");
        QCOMPARE(statuses.first(), "KVMX will start bus scanning. Please wait...");
        if (fault != NotConnected)
            QVERIFY(master().written.startsWith(transport("BD0231F0")));
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
        // The master's acknowledgement is no answer from the module.
        QTest::newRow("not acknowledged")
            << QByteArrayList{scanAck} << int(None) << int(DaliErase::NotAcknowledged)
            << module + " did not acknowledge the erase after 2 attempts. Nothing is known to be erased."
            << 2;
        QTest::newRow("unplugged") << QByteArrayList{} << int(Unplug) << int(DaliErase::LinkLost)
                                   << lost + module +
                                          " acknowledged the erase. Nothing is known to be erased."
                                   << 1;
        QTest::newRow("not connected") << QByteArrayList{} << int(NotConnected) << int(DaliErase::SendFailed)
                                       << "Error while sending frame. Please retry..." << 0;
    }

    void erase()
    {
        QFETCH(QByteArrayList, answers);
        QFETCH(int, fault);
        if (fault == NotConnected)
            manager = std::make_unique<MyTreatComPc>(QString());
        DaliErase erase(manager.get(), 0x3F12D687, QStringLiteral("LUX42 s/n:1234567 v3"));
        QSignalSpy finished(&erase, &DaliErase::finished);
        run(erase, answers, fault);
        QTEST(int(finished.at(0).at(0).value<DaliErase::Outcome>()), "outcome");
        QTEST(finished.at(0).at(1).toString(), "message");
        QFETCH(int, sends);
        if (fault != NotConnected)
            QCOMPARE(master().written, transport("BD0E3F12D6871F3FF1C8").repeated(sends));
    }
};

QTEST_MAIN(tst_Workflow)
#include "tst_workflow.moc"
