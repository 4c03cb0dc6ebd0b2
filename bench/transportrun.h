#ifndef TRANSPORTRUN_H
#define TRANSPORTRUN_H

#include "soakjob.h"
#include "soakoptions.h"
#include "soaksimulator.h"
#include "soaksummary.h"

#include <QRandomGenerator>

#include <memory>

class MyTreatComPc;

// The soak on one transport: jobs one after another on one manager against the simulator, each
// judged on the frames the simulator delivered meanwhile.
class TransportRun
{
public:
    TransportRun(const SoakOptions &options, const QString &transport, const QString &logDir, quint32 seed);
    ~TransportRun();

    // False when the run cannot go on (the simulator does not start, the link cannot be opened).
    bool run(QString &error);
    const SoakSummary &result() const { return summary; }

private:
    bool startSimulator(QString &error);
    // What the installer's Refresh does: a working link is kept and checked, one that is down is
    // opened again on the same endpoint; a simulator that was killed has been started again first.
    bool refresh(QString &error);
    void runJob(int number);
    void ended(SoakJob *job);
    // A job is kept until the next one has ended, so that a second end of it is still seen.
    void finishLastJob();

    const SoakOptions &options;
    QString transport;
    SoakSimulator sim;
    QRandomGenerator random;
    std::unique_ptr<MyTreatComPc> manager;
    int sessionInstance = 0;
    QString failure; // the run cannot go on
    std::unique_ptr<SoakJob> last;
    SoakSummary summary;
};

#endif // TRANSPORTRUN_H
