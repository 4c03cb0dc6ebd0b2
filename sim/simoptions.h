#ifndef SIMOPTIONS_H
#define SIMOPTIONS_H

#include "buscodes.h"
#include "simfaults.h"
#include "simmodule.h"

#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

class QCommandLineParser;

// The simulator's command line: which interface it plays and where, the modules on its bus, the
// pacing of the scan and the faults to inject.
class SimOptions
{
public:
    enum Front { FrontUdp, FrontTcp, FrontPty };

    // The longest wait or delay an option (or a fault setting changed while running) may ask for.
    static constexpr int longestWaitMs = 600000;

    // Ordered by size, so that the record carries no padding.
    QHostAddress host = QHostAddress(QHostAddress::LocalHost);
    QString password; // empty: any LOGIN opens the session
    QList<SimModule> modules;
    QString jsonLogPath; // the frame log also written here, as JSON lines; empty: not at all
    QString error;
    SimFaults faults;
    Front front = FrontUdp;
    int scanMs = 1500;
    int resendMs = 500;
    int resends = 3;
    quint32 masterAddress = 0;
    int floodMb = 0; // a "FLOOD" datagram makes the module flood its session peer with this much
    int floodMs = 5000;
    quint32 seed = 0;
    quint16 port = ethModulePort;
    bool masterAddressed = false; // the master reports from sender mode 3 and masterAddress
    bool unusableReports = false; // the master's scan sends only reports the PC cannot read
    bool faultsFromStdin = false; // fault settings read from standard input while running
    bool seeded = false;
    bool helpRequested = false;
    bool versionRequested = false;

    // arguments[0] is the program name. On false, error says what is wrong.
    bool parse(const QStringList &arguments);
    static QString helpText();

    static bool parseModule(const QString &text, SimModule &module, QString &error);
    // Only loopback hosts: the simulator is a test bench and must not be reachable from outside.
    static bool parseEndpoint(const QString &text, QHostAddress &host, quint16 &port, QString &error);

private:
    static void addOptions(QCommandLineParser &parser);
    bool readFront(const QCommandLineParser &parser);
    bool readModules(const QCommandLineParser &parser);
    bool readNumbers(const QCommandLineParser &parser);
};

#endif // SIMOPTIONS_H
