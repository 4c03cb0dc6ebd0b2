#include "questions.h"

#include "shownurl.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QUrl>

bool confirmErase(QWidget *parent, const QString &module, const QString &endpoint)
{
    // The module's name is not broken across lines.
    QString unbroken = module;
    unbroken.replace(QLatin1Char(' '), QChar(0x00A0));
    const QString question = QStringLiteral("Erase the short addresses and groups of every DALI slave "
                                            "behind %1 on %2? This cannot be undone.")
                                 .arg(unbroken, endpoint);
    return QMessageBox::question(parent, parent->windowTitle(), question, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

bool mayStop(QWidget *parent, const QString &job)
{
    if (job.isEmpty())
        return true;
    QString named = job;
    named[0] = named.at(0).toUpper();
    return QMessageBox::question(
               parent, parent->windowTitle(),
               QStringLiteral("%1 is under way. Stop it and leave its outcome unknown?").arg(named),
               QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

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
