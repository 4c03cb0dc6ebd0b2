#include "aboutbox.h"

#include <QCoreApplication>
#include <QMessageBox>

void showAboutBox(QWidget *parent)
{
    QMessageBox::about(
        parent, QStringLiteral("About Telvoran2 DALI toolbox"),
        QStringLiteral("<p><b>Telvoran2 DALI toolbox</b> %1</p>"
                       "<p>Scans the Telvoran2 bus and erases the DALI short addresses and groups "
                       "behind a DALI interface module.</p>"
                       "<p>Copyright 2026 The Telvoran2 DALI toolbox developers. Licence: proprietary, "
                       "all rights reserved.</p>"
                       "<p>Built with Qt %2, running on Qt %3. Qt is licensed under the GNU Lesser General "
                       "Public License version 3.</p>")
            .arg(QCoreApplication::applicationVersion(), QStringLiteral(QT_VERSION_STR),
                 QString::fromLatin1(qVersion())));
}
