#ifndef ENDPOINTSESSION_H
#define ENDPOINTSESSION_H

#include "moduletable.h"
#include "scanresult.h"

#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>

class BusScan;
class DaliErase;
class MyTreatComPc;
class TrafficTrace;

// What belongs to one endpoint: its manager while it is open, its last scan (the table shown, the
// erase targets, what Export saves), the erase target chosen there, and the job running on it. An
// erase only reaches a module that a scan of this same endpoint listed.
class EndpointSession : public QObject
{
    Q_OBJECT

public:
    EndpointSession(const QUrl &url, TrafficTrace *trace, QObject *parent = nullptr);
    ~EndpointSession() override;

    // The endpoint as listed, without its password.
    QUrl url() const { return endpoint; }
    QString shownUrl() const;
    // Null while closed, and while the open is under way (an Ethernet open waits with events
    // processed: nothing may reach a manager that is still half built).
    MyTreatComPc *manager() const { return treatComPc; }
    bool isConnected() const;
    // Asks for the password of url (the module refused the one given, or none is known in this
    // run), sets it in url and returns true; false when none was given.
    using PasswordQuestion = std::function<bool(QUrl &url, bool refused)>;
    // Opens the endpoint, with the URL that carries this run's password; true when connected. A
    // user name without a password, and a password the module refuses, are asked about first.
    bool open(QUrl &withPassword, const PasswordQuestion &askPassword);
    // Stops the job running here, if any, and closes the manager; the last scan stays.
    void close();
    // The Ethernet open and logout waits of this endpoint's link, now and at its next opens.
    void setEthWaits(int openMs, int logoutMs);

    bool hasScan() const { return lastScan.finishedAt.isValid(); }
    const ScanResult &scanResult() const { return lastScan; }
    // The modules to show: the running scan's table so far, else the last scan's.
    const ModuleTable &table() const { return shown; }
    quint32 target() const { return chosen; }
    // Only a DALI interface module of this endpoint's table can be the target; 0 chooses none.
    void choose(quint32 moduleId);

    // "Connected to URL", or "Not connected to URL: why. " and what to do.
    QString connectionLine() const;
    // The heading above the module table: what was scanned there, when, and how it ended.
    QString heading() const;
    // "a scan of URL", "the erase behind URL"; empty when nothing runs.
    QString job() const;
    bool startScan();
    // False, and nothing sent, unless the target is a DALI interface module of this table.
    bool startErase(quint32 moduleId);
    void stopJob(const QString &reason);

signals:
    void status(const QString &line);
    void tableChanged();
    void jobFinished();
    void connectionChanged(bool connected);

private:
    void openOnce(const QUrl &withPassword);
    void showTable(const ModuleTable &table);
    void endJobs();

    QUrl endpoint;
    TrafficTrace *trace;
    MyTreatComPc *treatComPc = nullptr;
    ScanResult lastScan;
    ModuleTable shown;
    quint32 chosen = 0;
    int ethOpenWaitMs;
    int ethLogoutWaitMs;
    bool noneChosen = false; // no target by the user's choice, or the target went away
    QPointer<BusScan> scan;
    QPointer<DaliErase> erase;
};

#endif // ENDPOINTSESSION_H
