#ifndef SIMBUS_H
#define SIMBUS_H

#include "myframedec.h"
#include "simfaults.h"
#include "simmodule.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

class FrameLog;

// The bus behind an interface: a bus master and its modules. Takes the PC's frames in transport
// form, acknowledges what is addressed to the master or a present module, runs the bus scan with
// its four reports (each resent until the PC acknowledges it), and erases the DALI line of a DALI
// interface module on request. Frames for the PC leave through frameOut.
class SimBus : public QObject
{
    Q_OBJECT

public:
    static constexpr int defaultScanMs = 1500;
    static constexpr int defaultResendMs = 500;
    static constexpr int defaultMaxResends = 3;

    // The log is not owned and may be null.
    SimBus(const QList<SimModule> &modules, const SimFaults &faults, FrameLog *log,
           QObject *parent = nullptr);

    // The four reports of a scan are spread over this time; 0 sends each as soon as the previous
    // one is acknowledged.
    void setScanMs(int ms) { scanMs = qMax(0, ms); }
    void setResend(int intervalMs, int maxResends);
    // The master's personality. By default it reports from sender mode 0; with an address it reports
    // from sender mode 3 and that 4-byte address. With unusable reports its scan sends only reports
    // that the PC cannot read: a module count of one byte and a table without the table marker.
    void setMasterAddress(quint32 address)
    {
        masterAddressed = true;
        masterAddress = address;
    }
    void setUnusableReports(bool on) { unusableReports = on; }
    bool isScanning() const { return scanning; }
    // The faults in force; changed while running, they hold from the next frame on.
    SimFaults &faultSettings() { return faults; }

    // COTRANSTABLE payload: table marker, length, then 8 bytes per module.
    static QByteArray moduleTablePayload(const QList<SimModule> &modules);

public slots:
    void receiveText(const QByteArray &wire);

signals:
    void frameOut(const QByteArray &wire);
    void daliLineErased(quint32 moduleId);
    void scanFinished();

private:
    void dispatch(const MyFrameDec &frame);
    void handleMasterFrame(const MyFrameDec &frame);
    void handleModuleFrame(const MyFrameDec &frame, const SimModule &module);
    void handlePcAck(const MyFrameDec &frame);
    const SimModule *moduleAt(const MyFrameDec &frame) const;
    void acknowledge(const MyFrameDec &request);
    void send(const MyFrameDec &frame, const QString &note = QString());
    void emitWire(const MyFrameDec &frame, const QByteArray &wire, const QString &note);

    void startScan(int pcMode);
    void sendCurrentReport();
    void onAckTimeout();
    void nextReport();
    MyFrameDec report(int command, const QByteArray &payload) const;

    QList<SimModule> modules;
    SimFaults faults;
    FrameLog *log;
    int scanMs = defaultScanMs;
    int resendMs = defaultResendMs;
    int maxResends = defaultMaxResends;
    bool masterAddressed = false;
    quint32 masterAddress = 0;
    bool unusableReports = false;

    bool scanning = false;
    int scanPcMode = 0;
    QList<MyFrameDec> reports;
    int reportIndex = 0;
    int resends = 0;
    bool awaitingAck = false;
    QElapsedTimer scanClock;
    QTimer paceTimer;
    QTimer ackTimer;
};

#endif // SIMBUS_H
