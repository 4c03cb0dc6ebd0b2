#ifndef WINDOWPLACEMENT_H
#define WINDOWPLACEMENT_H

class QWidget;

// Puts window beside main, not over it: to its right, narrowed to the room there, or else below it.
void placeBeside(QWidget *window, const QWidget *main);

#endif // WINDOWPLACEMENT_H
