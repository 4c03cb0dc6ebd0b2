#ifndef TRAFFICTRACE_H
#define TRAFFICTRACE_H

#include "rxitem.h"
#include "trafficunit.h"

#include <QFile>
#include <QObject>
#include <QString>

// The frame trace: every unit crossing the link, both directions, stamped with the local time to the
// millisecond and the endpoint, appended as a line to a file (--trace) and handed to the Bus traffic
// window, which makes its lines when it shows them. Units are only kept while someone takes them.
class TrafficTrace : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    // Appends to path from now on; false with the reason in error when it cannot be opened.
    bool openFile(const QString &path, QString &error);
    void setEndpoint(const QString &endpoint) { this->endpoint = endpoint; }

public slots:
    void record(bool sent, RxItemKind kind, const QByteArray &bytes);

signals:
    void line(const TrafficUnit &unit);

private:
    QFile file;
    QString endpoint;
};

#endif // TRAFFICTRACE_H
