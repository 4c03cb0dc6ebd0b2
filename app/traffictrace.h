#ifndef TRAFFICTRACE_H
#define TRAFFICTRACE_H

#include "rxitem.h"

#include <QFile>
#include <QObject>
#include <QString>

// The frame trace: one line per unit crossing the link, both directions, stamped with the local time
// to the millisecond and the endpoint, appended to a file (--trace) and handed to the Bus traffic
// window. Lines are only made while someone takes them.
//   2026-12-06 22:31:28.123 PC->BUS udp://127.0.0.1:17481 COSCAN        1 -> 0  t1 ack  data -
//   <02>BD0131EF<03>
class TrafficTrace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Appends to path from now on; false with the reason in error when it cannot be opened.
    bool openFile(const QString &path, QString &error);
    void setEndpoint(const QString &endpoint) { this->endpoint = endpoint; }

    // Bus frames decoded with their fields, the module session's lines marked SESSION, anything the
    // toolbox drops marked DROPPED.
    static QString describe(bool sent, RxItemKind kind, const QByteArray &bytes);

public slots:
    void record(bool sent, RxItemKind kind, const QByteArray &bytes);

signals:
    void line(const QString &text);

private:
    QFile file;
    QString endpoint;
    qint64 stampSecond = -1;
    QString stampPrefix;
};

#endif // TRAFFICTRACE_H
