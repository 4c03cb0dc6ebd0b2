#include "passwordquestion.h"

#include "shownurl.h"

#include <QInputDialog>
#include <QUrl>

bool askPassword(QWidget *parent, QUrl &url, bool refused)
{
    const QString where = shownUrl(url);
    const QString question =
        refused ? QStringLiteral("The module at %1 refused the password (Auth failed).\nPassword for %2:")
                      .arg(where, url.userName())
                : QStringLiteral("Password for %1 at %2:").arg(url.userName(), where);
    bool given = false;
    const QString password = QInputDialog::getText(parent, QStringLiteral("Password"), question,
                                                   QLineEdit::Password, QString(), &given);
    if (!given || password.isEmpty())
        return false;
    url.setPassword(password);
    return true;
}
