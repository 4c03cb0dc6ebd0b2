#ifndef BUSJOB_H
#define BUSJOB_H

#include "myframedec.h"
#include "mytreatcompc.h"

#include <QObject>
#include <QPointer>
#include <QString>

// A request to the bus and what follows it, run on one manager: sends its request, reports progress,
// and ends exactly once with an outcome and a text, whatever happens first (the answer, the drop of
// the request after its last resend, the link going down, the manager going away, a stop from this
// side). The text says what happened; the views add what the user can do about it.
class BusJob : public QObject
{
    Q_OBJECT

public:
    enum Outcome {
        Completed,       // scan: the end-of-scan report came
        Accepted,        // erase: the module acknowledged the request
        SendFailed,      // the request could not be written
        NoAnswer,        // scan: the request was given up, nothing answered it
        NotAcknowledged, // erase: given up after its resends, nothing is known to be erased
        Incomplete,      // scan: the master answered, then stopped reporting before the end
        LinkLost,        // the link went down before the job's end
        Cancelled,       // stopped from this side (endpoint changed, time limit, connection closed)
        NotConnected,    // the endpoint could not be opened: nothing was asked for
    };
    Q_ENUM(Outcome)

    // The outcome as the JSON and CSV documents name it: "completed", "not-acknowledged", ...
    static QString outcomeName(Outcome outcome);

    // Sends the request; when it cannot be written the job ends before this returns.
    void start();
    // Ends a running job from this side.
    void stop(const QString &reason);

    bool isRunning() const { return running; }
    Outcome outcome() const { return jobOutcome; }
    // Why the job ended as it did; for a job that did its work, what it did.
    QString text() const { return jobText; }
    bool succeeded() const { return jobOutcome == Completed || jobOutcome == Accepted; }

signals:
    // The status texts of the job's steps, as the installer sees them.
    void progress(const QString &status);
    // Emitted once, when the job ends; outcome() and text() then tell how.
    void result(BusJob *job);

protected:
    BusJob(MyTreatComPc *manager, QObject *parent);

    MyTreatComPc *manager() const { return jobManager.data(); }
    // The progress line shown when the job starts.
    virtual QString startLine() const = 0;
    virtual MyFrameDec request() const = 0;
    // The request was written; the job listens to the manager from here on.
    virtual void listen() {}
    // The manager gave the request up after its last resend.
    virtual void requestDropped() = 0;
    virtual QString linkLostText() const = 0;
    // Called once before the result is emitted.
    virtual void ending(Outcome outcome, const QString &text);

    // Ends the job; a job that has ended already stays as it ended.
    void emitResult(Outcome outcome, const QString &text);

private:
    QPointer<MyTreatComPc> jobManager;
    MyFrameDec sentRequest;
    bool running = false;
    Outcome jobOutcome = Cancelled;
    QString jobText;
};

// The status of a request that could not be written (link down, bytes not all accepted).
inline const char *const sendFailedText = "Error while sending frame. Please retry...";

#endif // BUSJOB_H
