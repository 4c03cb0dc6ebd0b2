#ifndef BUSSCAN_H
#define BUSSCAN_H

#include "scanresult.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

class MyFrameDec;
class MyTreatComPc;

// One bus scan: asks the bus master behind a manager to scan the bus, follows its reports (module
// count, scan started, module table, end of scan) and ends exactly once, with the table read, when
// the end-of-scan report comes, the request is given up, the master stops reporting, or the link
// goes down.
class BusScan : public QObject
{
    Q_OBJECT

public:
    // Longest silence of the master between its acknowledgement and the end-of-scan report.
    static constexpr int defaultWatchdogMs = 15000;
    // After a fifth of that silence (3 s) the link is asked to show whether its peer is still there:
    // over UDP a module that went away is only noticed when something is sent to it.
    static constexpr int probeFraction = 5;

    explicit BusScan(MyTreatComPc *manager, QObject *parent = nullptr);

    void setWatchdogMs(int ms)
    {
        watchdog.setInterval(ms);
        probe.setInterval(ms / probeFraction);
    }
    // Sends the scan request; when it cannot be written the scan ends before this returns.
    void start();
    // Ends a running scan from this side (endpoint changed, time limit reached).
    void stop(const QString &reason);
    bool isRunning() const { return running; }
    const ScanResult &result() const { return scanResult; }

public slots:
    // A frame from the bus; the master's reports are read, everything else is ignored. The same
    // frame read twice gives the same result.
    void readReport(const MyFrameDec &frame);

signals:
    // The status texts of the scan's steps, as the installer sees them.
    void progress(const QString &status);
    // Each module table the master reports; a later one replaces the earlier.
    void tableRead(const ModuleTable &table);
    void finished(const ScanResult &result);

private:
    void readTable(const QByteArray &payload);
    void masterAnswered();
    void finish(ScanResult::Outcome outcome, const QString &message = QString());

    QPointer<MyTreatComPc> manager;
    QTimer watchdog;
    QTimer probe; // runs from the request to the end, restarted by each report
    ScanResult scanResult;
    bool running = false;
    bool listening = false;
    bool answered = false; // the master acknowledged the request or reported
};

#endif // BUSSCAN_H
