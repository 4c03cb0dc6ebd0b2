#ifndef SOAKJOB_H
#define SOAKJOB_H

#include "dalierase.h"
#include "scanresult.h"

#include <QPointer>
#include <QString>

struct BusSeen;

// One scan or erase of the soak, its faults and how it ended.
struct SoakJob
{
    int number = 0;
    bool erase = false;
    bool noFault = false; // --no-ack for an erase, --no-end for a scan
    int killAfterMs = -1; // the simulator killed that long after the start; -1: not at all
    int ends = 0;
    BusJob::Outcome eraseOutcome = BusJob::Cancelled;
    ScanResult scan;
    QString message;
    qint64 logOffset = 0;     // where the simulator's log stood when the job started
    int sessionInstance = 0;  // the simulator the manager's session was opened with
    QPointer<QObject> object; // the BusScan or DaliErase

    // "scan completed", "erase not acknowledged": the outcome as the table names it.
    QString outcomeLabel() const;
    // Empty when the outcome is one that what the bus delivered allows; otherwise what is wrong.
    // simulatorGone: the simulator of the job's session was killed.
    QString judge(const BusSeen &bus, bool simulatorGone, quint32 daliModuleId, quint32 otherModuleId) const;
};

#endif // SOAKJOB_H
