#ifndef BUSTRAFFICWINDOW_H
#define BUSTRAFFICWINDOW_H

#include "trafficunit.h"

#include <QWidget>

class QListView;
class TrafficModel;

// The Bus traffic window: the trace lines live, newest at the bottom, with pause, clear and save.
class BusTrafficWindow : public QWidget
{
    Q_OBJECT

public:
    explicit BusTrafficWindow(QWidget *parent = nullptr);

    TrafficModel *model() const { return traffic; }

public slots:
    void append(const TrafficUnit &unit);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void save();

    TrafficModel *traffic;
    QListView *view;
    bool following = true;
};

#endif // BUSTRAFFICWINDOW_H
