#include "serialportname.h"

bool SerialPortName::unlisted(const QString &, QString &, QString &)
{
    return false;
}

bool SerialPortName::byPath()
{
    return true;
}

QString SerialPortName::example()
{
    return QStringLiteral("/dev/ttyUSB0");
}

QString SerialPortName::exampleName()
{
    return QStringLiteral("ttyUSB0");
}
