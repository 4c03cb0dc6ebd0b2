#include "qtelvorandalitoolbox.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationVersion(QStringLiteral("1.0"));

    qtelvorandalitoolbox window;
    window.show();
    return QApplication::exec();
}
