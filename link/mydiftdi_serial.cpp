// Serial transport: the port named by a serial:// URL, at the URL's baud rate, 8-N-1, no flow control.
#include "mydiftdi.h"

#include "endpoint.h"
#include "linklog.h"
#include "serialportdescription.h"
#include "serialportname.h"

#include <QDebug>
#include <QMetaEnum>
#include <QSerialPort>
#include <memory>

namespace {

QString errorName(QSerialPort::SerialPortError error)
{
    return QString::fromLatin1(QMetaEnum::fromType<QSerialPort::SerialPortError>().valueToKey(error));
}

// The URL parser folds the host to lower case while the system names ports in upper case (COM3).
// A URL without a host names the device by its path (serial:///dev/ttyUSB0, a pseudo-terminal):
// a listed port at that path keeps its name, any other path is opened as it is. A host that the
// list lacks may still be a port the system opens by name (COM5 on Windows).
QString systemLocationOf(const Endpoint &target, QString &portName)
{
    const bool byPath = target.namedByPath();
    QString name = target.host(); // the path, when named by it
    const QString wanted = name.toUpper();
    const QList<SerialPortDescription> ports = availableSerialPorts();
    for (const SerialPortDescription &port : ports) {
        if (byPath ? port.systemLocation == name : port.portName.toUpper() == wanted) {
            portName = port.portName;
            return port.systemLocation;
        }
    }
    QString location;
    if (!byPath && SerialPortName::unlisted(name, portName, location))
        return location;
    if (!byPath || !name.startsWith(QLatin1Char('/')))
        return QString();
    portName = name;
    return name;
}

// Before open() Qt only records these settings, so a refusal shows up at open() on most systems;
// the checks stay for the drivers that do refuse early.
bool configure(QSerialPort &port, const QString &name, qint32 baud)
{
    if (!port.setBaudRate(baud)) {
        qCDebug(lcLink).noquote() << "Unable to ste baud error " << errorName(port.error());
        return false;
    }
    const auto refused = [&port, &name](const char *text) {
        qCDebug(lcLink).noquote() << QString::fromLatin1(text).arg(name).arg(static_cast<int>(port.error()));
        return false;
    };
    if (!port.setDataBits(QSerialPort::Data8))
        return refused("Can't set 8 data bits to port %1, error code %2");
    if (!port.setParity(QSerialPort::NoParity))
        return refused("Can't set no patity to port %1, error code %2");
    if (!port.setStopBits(QSerialPort::OneStop))
        return refused("Can't set 1 stop bit to port %1, error code %2");
    if (!port.setFlowControl(QSerialPort::NoFlowControl))
        return refused("Can't set no flow control to port %1, error code %2");
    return true;
}

} // namespace

int MyDiFtdi::openSerial(const Endpoint &target)
{
    QString name;
    const QString location = systemLocationOf(target, name);
    if (location.isEmpty())
        return failOpen(OpenNoDevice, QStringLiteral("no serial port %1").arg(target.host()));
    const qint32 baud = target.baud();
    // Missing, unreadable or 0 (which would hang the line up).
    if (baud <= 0)
        return failOpen(OpenNoBaudRate, QStringLiteral("no baud rate in the URL"));

    // A port that fails to open is never used again, so it goes at once.
    auto port = std::make_unique<QSerialPort>();
    port->setPortName(location);
    if (!configure(*port, name, baud))
        return failOpen(OpenDeviceRefused,
                        QStringLiteral("port %1 refused %2 baud, 8-N-1").arg(name).arg(baud));
    qCDebug(lcLink).noquote().nospace() << "Found match : " << name << " @ " << port->baudRate();
    if (!port->open(QIODevice::ReadWrite)) {
        const QSerialPort::SerialPortError error = port->error();
        qCDebug(lcLink).noquote().nospace() << "Unable to open " << name << " error " << errorName(error);
        if (error == QSerialPort::PermissionError)
            return failOpen(OpenDeviceBusy, QStringLiteral("port %1 busy or not permitted").arg(name));
        if (error == QSerialPort::DeviceNotFoundError)
            return failOpen(OpenNoDevice, QStringLiteral("no serial port %1").arg(name));
        return failOpen(OpenOtherError,
                        QStringLiteral("port %1 could not be opened (%2)").arg(name, port->errorString()));
    }

    serPort.reset(port.release());
    connect(serPort.get(), &QSerialPort::readyRead, this, &MyDiFtdi::serPort_readResponse_cb);
    // The adapter was unplugged or the far end of the line hung up: the port is of no further use.
    // A hung-up line stays readable for ever, every read failing, so it must go at the first error.
    connect(serPort.get(), &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError error) {
        if (error == QSerialPort::ResourceError || error == QSerialPort::ReadError)
            dropTransport(error == QSerialPort::ReadError ? "serial port read error" : "serial port gone");
    });
    connected = true;
    emit connectStateChanged(true);
    transport = TransportSerial;
    return 1;
}

void MyDiFtdi::closeSerial()
{
    if (!serPort)
        return;
    serPort->disconnect(this);
    serPort->close();
    // Deferred: an "Access denied" line read from the port closes the link inside the port's readyRead.
    serPort.reset();
    markDisconnected();
}

int MyDiFtdi::writeSerial(const QByteArray &bytes)
{
    if (!serPort)
        return 0;
    return static_cast<int>(serPort->write(bytes));
}

void MyDiFtdi::serPort_readResponse_cb()
{
    if (auto *port = qobject_cast<QSerialPort *>(sender()))
        receivePass(port->readAll());
}
