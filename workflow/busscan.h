#ifndef BUSSCAN_H
#define BUSSCAN_H

#include "busjob.h"
#include "scanresult.h"

#include <QTimer>

// One bus scan: asks the bus master behind a manager to scan the bus and follows its reports
// (module count, scan started, module table, end of scan). Ends Completed on the end-of-scan report,
// NoAnswer when the request is given up, Incomplete when the master stops reporting, or as every job
// does; scanResult() holds the table read up to then.
class BusScan : public BusJob
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
    int watchdogMs() const { return watchdog.interval(); }
    const ScanResult &scanResult() const { return current; }

public slots:
    // A frame from the bus; the master's reports are read, everything else is ignored. The same
    // frame read twice gives the same result.
    void readReport(const MyFrameDec &frame);

signals:
    // Each module table the master reports; a later one replaces the earlier.
    void tableRead(const ModuleTable &table);

protected:
    QString startLine() const override;
    MyFrameDec request() const override;
    void listen() override;
    void requestDropped() override;
    QString linkLostText() const override;
    void ending(Outcome outcome, const QString &text) override;

private:
    void readTable(const QByteArray &payload);
    void masterAnswered();
    void scanProgressed();

    QTimer watchdog;
    QTimer probe; // runs from the request to the end, restarted by each report
    ScanResult current;
    bool listening = false;
    bool answered = false;   // the master acknowledged the request or reported
    bool progressed = false; // a start, count or table report of this scan was read
};

#endif // BUSSCAN_H
