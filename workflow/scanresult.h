#ifndef SCANRESULT_H
#define SCANRESULT_H

#include "moduletable.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>

// How a bus scan ended, with the module table the bus master reported up to then.
class ScanResult
{
public:
    enum Outcome {
        Completed,    // the end-of-scan report came
        SendFailed,   // the request could not be written
        NoAnswer,     // the request was given up: nothing answered it
        Incomplete,   // the master acknowledged, then stopped reporting before the end of the scan
        LinkLost,     // the link went down during the scan
        Cancelled,    // the scan was stopped from this side (endpoint changed, time limit)
        NotConnected, // the endpoint could not be opened: no scan was asked for
    };

    Outcome outcome = Cancelled;
    QString endpoint;     // without its password
    QDateTime finishedAt; // local time
    bool tableRead = false;
    ModuleTable table;
    QString message; // why the scan did not complete; empty when it did

    bool completed() const { return outcome == Completed; }
    QString outcomeName() const;
    // The inventory: endpoint, date, outcome (and reason), every module of the table.
    QJsonObject toJson() const;
    // The same as CSV: a header line, then one line per module with the endpoint, date and outcome
    // (one line with the module fields empty when there is none).
    QByteArray toCsv() const;
};

#endif // SCANRESULT_H
