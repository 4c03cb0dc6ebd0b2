#ifndef TESTBYTES_H
#define TESTBYTES_H

#include <QByteArray>
#include <QFile>
#include <QString>

// The bytes and endpoints that every suite speaks: the fake USB bus master's URL, the transport frame
// around a frame's hex digits, a module table as the master reports it, and a text file's content.

inline const QString masterUrl = QStringLiteral("usb://localhost?vid=1027&pid=61264");
inline QByteArray transport(const QByteArray &hexDigits)
{
    return '\x02' + hexDigits + '\x03';
}
// The master's module table: records of types 9 (s/n 1, v1), 63 (s/n 0x12D687, v3) and 63 (s/n 5, v7).
inline const QByteArray table3 = "BD081600F00000001809000001000001003F12D687000003003F00000500000700EA";

inline QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

#endif // TESTBYTES_H
