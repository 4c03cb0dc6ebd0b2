#ifndef ABOUTBOX_H
#define ABOUTBOX_H

class QWidget;

// Help > About: what the toolbox does, its licence and the Qt it was built with and runs on.
void showAboutBox(QWidget *parent);

#endif // ABOUTBOX_H
