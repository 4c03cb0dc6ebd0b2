#include "windowplacement.h"

#include <QRect>
#include <QScreen>
#include <QWidget>

void placeBeside(QWidget *window, const QWidget *main)
{
    constexpr int narrowest = 400;
    constexpr int lowest = 200;
    const QRect screenArea = main->screen()->availableGeometry();
    const QRect frame = main->frameGeometry();
    QRect place(frame.topRight() + QPoint(1, 0), window->size());
    if (screenArea.right() - frame.right() >= narrowest) {
        place.setRight(qMin(place.right(), screenArea.right()));
    } else if (screenArea.bottom() - frame.bottom() >= lowest) {
        place.moveTopLeft(frame.bottomLeft() + QPoint(0, 1));
        place.setBottom(qMin(place.bottom(), screenArea.bottom()));
        if (place.right() > screenArea.right())
            place.moveRight(screenArea.right());
    } else if (place.right() > screenArea.right()) {
        place.moveRight(screenArea.right());
    }
    window->setGeometry(place);
}
