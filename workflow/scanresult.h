#ifndef SCANRESULT_H
#define SCANRESULT_H

#include "busjob.h"
#include "moduletable.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// How a bus scan ended, with the module table the bus master reported up to then.
class ScanResult
{
public:
    BusJob::Outcome outcome = BusJob::Cancelled;
    QString endpoint;     // without its password
    QDateTime finishedAt; // local time
    bool tableRead = false;
    ModuleTable table;
    QString message; // why the scan did not complete; empty when it did

    bool completed() const { return outcome == BusJob::Completed; }
    QString outcomeName() const { return BusJob::outcomeName(outcome); }
    // The inventory: endpoint, date, outcome (and reason), every module of the table.
    QJsonObject toJson() const;
    // The same as CSV: a header line, then one line per module with the endpoint, date and outcome
    // (one line with the module fields empty when there is none).
    QByteArray toCsv() const;
};

#endif // SCANRESULT_H
