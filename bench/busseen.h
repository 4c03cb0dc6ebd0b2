#ifndef BUSSEEN_H
#define BUSSEEN_H

#include <QJsonObject>
#include <QList>

// What the simulator delivered to the PC during one soak job, read from its JSON frame log: frames
// not dropped, with their checksum intact, that reached a session.
struct BusSeen
{
    bool masterAnswered = false; // the master's COACKN or any of its reports
    bool endReport = false;
    bool table = false;
    bool moduleAck = false; // COACKN of the DALI interface module at moduleId
    int delivered = 0;

    // From the log's records of the job, for a PC at pcMode and the erase target moduleId.
    static BusSeen read(const QList<QJsonObject> &records, int pcMode, quint32 moduleId);
};

#endif // BUSSEEN_H
