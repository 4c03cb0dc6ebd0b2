#ifndef SOAKOPTIONS_H
#define SOAKOPTIONS_H

#include <QString>
#include <QStringList>

// The soak's command line.
struct SoakOptions
{
    // In their default order; a transport's place here offsets the seed of its mix.
    static QStringList allTransports()
    {
        return {QStringLiteral("udp"), QStringLiteral("tcp"), QStringLiteral("pty")};
    }

    int jobs = 60;
    quint32 seed = 1;
    double minutes = 0;
    int retryMs = 300;
    int watchdogMs = 1500;
    int rssSlackKb = 1024;
    bool backToBack = false; // the next job starts while the master may still be resending a report
    QStringList transports = allTransports();
    QString simulator = QStringLiteral(SIM_EXECUTABLE);
    bool verbose = false;

    // arguments[0] is the program name; on false, error says what is wrong. --help prints and exits.
    bool read(const QStringList &arguments, QString &error);
};

#endif // SOAKOPTIONS_H
