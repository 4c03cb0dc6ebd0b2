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
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= lines.size())
        return QVariant();
    return lines[size_t(index.row())].line();
}

QStringList TrafficModel::allLines() const
{
    QStringList all;
    all.reserve(int(lines.size()));
    for (const TrafficUnit &unit : lines)
        all.append(unit.line());
    return all;
}

void TrafficModel::append(const TrafficUnit &unit)
{
    pending.push_back(unit);
    if (pending.size() > size_t(maxLines))
        pending.pop_front();
    if (!paused && !batchTimer.isActive())
        batchTimer.start();
}

void TrafficModel::flush()
{
    batchTimer.stop();
    if (pending.empty())
        return;
    const int overflow = qMin(int(lines.size()), int(lines.size() + pending.size()) - maxLines);
    if (overflow > 0) {
        beginRemoveRows(QModelIndex(), 0, overflow - 1);
        lines.erase(lines.begin(), lines.begin() + overflow);
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), int(lines.size()), int(lines.size() + pending.size()) - 1);
    lines.insert(lines.end(), std::make_move_iterator(pending.begin()), std::make_move_iterator(pending.end()));
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
