#ifndef TRAFFICMODEL_H
#define TRAFFICMODEL_H

#include "trafficunit.h"

#include <QAbstractListModel>
#include <QStringList>
#include <QTimer>

#include <deque>

// The lines of the Bus traffic window: the last maxLines of them. Units arrive one by one, as fast as
// the bus delivers them, and reach the view in batches, so that a flood costs one insertion and one
// removal per batch instead of a redraw per line. A unit becomes a line only when the view shows it.
class TrafficModel : public QAbstractListModel
{
    Q_OBJECT

public:
    static constexpr int maxLines = 10000;
    static constexpr int batchMs = 100;

    explicit TrafficModel(QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;

    // While paused the view stands still; what arrives meanwhile waits, the newest maxLines of it.
    void setPaused(bool paused);
    bool isPaused() const { return paused; }
    void clear();
    QStringList allLines() const;

public slots:
    void append(const TrafficUnit &unit);
    void flush();

private:
    std::deque<TrafficUnit> lines;
    std::deque<TrafficUnit> pending;
    QTimer batchTimer;
    bool paused = false;
};

#endif // TRAFFICMODEL_H
