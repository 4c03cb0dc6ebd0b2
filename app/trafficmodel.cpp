#include "trafficmodel.h"

TrafficModel::TrafficModel(QObject *parent)
    : QAbstractListModel(parent)
{
    batchTimer.setSingleShot(true);
    batchTimer.setInterval(batchMs);
    connect(&batchTimer, &QTimer::timeout, this, &TrafficModel::flush);
}

int TrafficModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(lines.size());
}

QVariant TrafficModel::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= lines.size())
        return QVariant();
    return lines.at(index.row());
}

void TrafficModel::append(const QString &line)
{
    pending.append(line);
    if (pending.size() > maxLines)
        pending.removeFirst();
    if (!paused && !batchTimer.isActive())
        batchTimer.start();
}

void TrafficModel::flush()
{
    batchTimer.stop();
    if (pending.isEmpty())
        return;
    const int overflow = qMin(int(lines.size()), int(lines.size() + pending.size()) - maxLines);
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, overflow - 1);
        lines.erase(lines.begin(), lines.begin() + overflow);
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), int(lines.size()), int(lines.size() + pending.size()) - 1);
    lines.append(pending);
    pending.clear();
    endInsertRows();
}

void TrafficModel::setPaused(bool paused)
{
    this->paused = paused;
    if (paused)
        batchTimer.stop();
    else
        flush();
}

void TrafficModel::clear()
{
    beginResetModel();
    lines.clear();
    pending.clear();
    endResetModel();
}
