#ifndef QUESTIONS_H
#define QUESTIONS_H

class QString;
class QUrl;
class QWidget;

// The questions the window asks before something that cannot be taken back, each with No (or
// Cancel) as the answer that a stray Enter gives.

// The erase of every DALI slave's short address and groups behind module, reached through endpoint.
bool confirmErase(QWidget *parent, const QString &module, const QString &endpoint);

// Whether the job under way ("a scan of URL", "the erase behind URL") may be stopped, its outcome
// unknown; true at once when job is empty.
bool mayStop(QWidget *parent, const QString &job);

// Asks for the password of the user named in url, masked: none is known in this run, or (refused)
// the module refused the one given. Sets it in url and returns true; false when none was given.
// The password is kept nowhere else.
bool askPassword(QWidget *parent, QUrl &url, bool refused);

#endif // QUESTIONS_H
