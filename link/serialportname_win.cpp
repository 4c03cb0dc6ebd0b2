#include "serialportname.h"

#include <QRegularExpression>

bool SerialPortName::unlisted(const QString &name, QString &portName, QString &systemLocation)
{
    static const QRegularExpression comPort(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = comPort.match(name);
    if (!match.hasMatch() || match.captured(1).toInt() > 256)
        return false;
    portName = QStringLiteral("COM") + match.captured(1);
    // The device namespace: without it only COM1 to COM9 are found.
    systemLocation = QStringLiteral("\\\\.\\") + portName;
    return true;
}

bool SerialPortName::byPath()
{
    return false;
}

QString SerialPortName::example()
{
    return QStringLiteral("COM3");
}

QString SerialPortName::exampleName()
{
    return example();
}
