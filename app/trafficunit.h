#ifndef TRAFFICUNIT_H
#define TRAFFICUNIT_H

#include "rxitem.h"

#include <QByteArray>
#include <QMetaType>
#include <QString>

// One unit that crossed the link, as the trace keeps it: the bytes, the direction and the time. Its
// line is made only when someone reads it (the Bus traffic window shows a screenful of 10 000, a
// flood delivers thousands a second), so keeping a unit costs no formatting.
//   2026-12-06 22:31:28.123 PC->BUS udp://127.0.0.1:17481 COSCAN        1 -> 0  t1 ack  data -
//   <02>BD0131EF<03>
class TrafficUnit
{
public:
    TrafficUnit() = default;
    TrafficUnit(qint64 msecsSinceEpoch, bool sent, RxItemKind kind, const QByteArray &bytes,
                const QString &endpoint);

    // Bus frames decoded with their fields, the module session's lines marked SESSION, anything the
    // toolbox drops marked DROPPED.
    QString line() const;

private:
    qint64 msecs = 0;
    bool sent = false;
    RxItemKind kind = RxOtherData;
    // The unit whole where its line shows it whole, else only the start the line shows.
    QByteArray bytes;
    int size = 0;
    QString endpoint;
    // A frame too long to keep whole is described at once: whether it is one needs all of it.
    QString description;
};

Q_DECLARE_METATYPE(TrafficUnit)

#endif // TRAFFICUNIT_H
