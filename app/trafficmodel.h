#ifndef TRAFFICMODEL_H
#define TRAFFICMODEL_H

#include <QAbstractListModel>
#include <QStringList>
#include <QTimer>

// The lines of the Bus traffic window: the last maxLines of them. Lines arrive one by one, as fast as
// the bus delivers them, and reach the view in batches, so that a flood costs one insertion and one
// removal per batch instead of a redraw per line.
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
    const QStringList &allLines() const { return lines; }

public slots:
    void append(const QString &line);
    void flush();

private:
    QStringList lines;
    QStringList pending;
    QTimer batchTimer;
    bool paused = false;
};

#endif // TRAFFICMODEL_H
