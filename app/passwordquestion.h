#ifndef PASSWORDQUESTION_H
#define PASSWORDQUESTION_H

class QUrl;
class QWidget;

// Asks for the password of the user named in url, masked: none is known in this run, or (refused)
// the module refused the one given. Sets it in url and returns true; false when none was given.
// The password is kept nowhere else.
bool askPassword(QWidget *parent, QUrl &url, bool refused);

#endif // PASSWORDQUESTION_H
