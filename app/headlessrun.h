#ifndef HEADLESSRUN_H
#define HEADLESSRUN_H

#include "dalierase.h"
#include "scanresult.h"
#include "toolboxoptions.h"

#include <QEventLoop>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <memory>

class BusScan;
class MyTreatComPc;
class TrafficTrace;

// The scan or the erase run from the command line, without a window: the same jobs as the window's,
// progress on stderr, the result on stdout, and an exit status that says whether it worked.
class HeadlessRun : public QObject
{
    Q_OBJECT

public:
    enum ExitStatus { Done = 0, Failed = 1, BadArguments = 2, NotConfirmed = 3 };

    // Takes the trace (which may log to no file at all).
    HeadlessRun(const ToolboxOptions &options, TrafficTrace *trace);
    ~HeadlessRun() override;

    // Runs the job to its end and returns the exit status.
    int exec();

private:
    void scanFinished(const ScanResult &result);
    void eraseModule(const ScanResult &result);
    void eraseFinished();
    // Why a run ends at the --timeout limit, before its job or during it.
    QString limitReached() const;
    void finish(int status, const QString &reason = QString());

    ToolboxOptions options;
    TrafficTrace *trace;
    std::unique_ptr<MyTreatComPc> manager;
    QPointer<BusScan> scan;
    QPointer<DaliErase> erase;
    QJsonObject document; // --json: the scan's inventory, and the erase's outcome
    QTimer limit;
    QEventLoop loop;
    int status = Failed;
    bool ended = false;
};

#endif // HEADLESSRUN_H
