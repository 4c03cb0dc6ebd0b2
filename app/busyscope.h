#ifndef BUSYSCOPE_H
#define BUSYSCOPE_H

#include <QObject>

// Marks a wait of the window (Ethernet open and logout, discovery): the busy cursor shows, and the
// clicks and keys made meanwhile, which the waits hold back, are dropped when the outermost scope
// ends instead of being replayed: three impatient Refresh clicks must not give three reconnects.
class BusyScope : public QObject
{
    Q_OBJECT

public:
    BusyScope();
    ~BusyScope() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    static int depth;
};

#endif // BUSYSCOPE_H
