#include "mydiftdi.h"

#include "endpoint.h"
#include "linklog.h"
#include "serialportdescription.h"
#include "shownurl.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QNetworkInterface>
#include <QTimer>
#include <QUdpSocket>
#include <memory>
#include <new>

namespace {

const QByteArray probeDatagram = QByteArrayLiteral("DISCOVER QNTX07");
const QString probeAnswerPrefix = QStringLiteral("INFO:I AM");
constexpr int probeListenMs = 2500;
constexpr int probeDatagramSize = 128;
constexpr qint64 maxDatagramSize = 65535;
// The listening wait sleeps in the event loop and is woken at least this often to look again.
constexpr int probeWakeMs = 10;

PortEntry usbEntry(quint16 productId, int moduleType)
{
    return {Endpoint::usb(ftdiVendorId, productId).url(), moduleType};
}

// The URL names the model, not the device: one entry however many such devices are attached.
void enumerateUsb(QList<PortEntry> &entries, quint16 productId, int moduleType)
{
    quint32 count = 0;
    FT_STATUS status = FT_CreateDeviceInfoList(&count);
    if (status != FT_OK) {
        qCWarning(lcLink) << "FT_CreateDeviceInfoList failed : " << status;
        return;
    }
    if (count == 0)
        return;
    std::unique_ptr<FT_DEVICE_LIST_INFO_NODE[]> nodes(new (std::nothrow) FT_DEVICE_LIST_INFO_NODE[count]);
    if (!nodes) {
        qCWarning(lcLink) << "Unable to alloc " << count << " of FT_DEVICE_LIST_INFO_NODE";
        return;
    }
    status = FT_GetDeviceInfoList(nodes.get(), &count);
    if (status != FT_OK) {
        qCWarning(lcLink) << "FT_GetDeviceInfoList failed : " << status;
        return;
    }
    for (quint32 index = 0; index < count; ++index) {
        quint32 flags = 0, type = 0, id = 0, locId = 0;
        char serialNumber[sizeof nodes[0].SerialNumber] = {};
        char description[sizeof nodes[0].Description] = {};
        FT_HANDLE handle = nullptr;
        status =
            FT_GetDeviceInfoDetail(index, &flags, &type, &id, &locId, serialNumber, description, &handle);
        if (status != FT_OK) {
            qCWarning(lcLink) << "FT_GetDeviceInfoDetail failed : " << status;
            return;
        }
        if ((id & 0xFFFF) == productId) {
            entries.append(usbEntry(productId, moduleType));
            return;
        }
    }
}

void enumerateSerial(QList<PortEntry> &entries)
{
    const QList<SerialPortDescription> ports = availableSerialPorts();
    for (const SerialPortDescription &port : ports) {
        if (!port.hasVendorIdentifier || port.vendorIdentifier != ftdiVendorId)
            continue;
        int baud = 0;
        int moduleType = 0;
        if (port.productIdentifier == kvmxProductId) {
            baud = kvmxBaudRate;
            moduleType = kvmxModuleType;
        } else if (port.productIdentifier == vtapProductId) {
            baud = vtapBaudRate;
            moduleType = vtapModuleType;
        } else {
            continue;
        }
        entries.append({Endpoint::serialPort(port.portName, baud).url(), moduleType});
    }
}

// A dual-stack socket reports IPv4 senders as IPv4-mapped IPv6 addresses; the module's URL names
// the plain IPv4 address that the Ethernet transport can reach.
QString senderHost(QHostAddress sender)
{
    bool isMappedIpv4 = false;
    const quint32 ipv4 = sender.toIPv4Address(&isMappedIpv4);
    if (isMappedIpv4)
        sender = QHostAddress(ipv4);
    sender.setScopeId(QString());
    return sender.toString();
}

void readProbeAnswer(QUdpSocket &socket, QList<PortEntry> &entries)
{
    QHostAddress sender;
    quint16 senderPort = 0;
    // The whole datagram is read, then cut to the answer's head: a read into a buffer shorter than
    // the datagram fails on Windows (WSAEMSGSIZE), and not every stack says how much it copied.
    QByteArray bytes(int(qBound<qint64>(1, socket.pendingDatagramSize(), maxDatagramSize)),
                     Qt::Uninitialized);
    const qint64 size = socket.readDatagram(bytes.data(), bytes.size(), &sender, &senderPort);
    if (size <= 0)
        return;
    bytes.truncate(int(qMin<qint64>(size, probeDatagramSize)));
    const int zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    if (!QString::fromLatin1(bytes).trimmed().startsWith(probeAnswerPrefix))
        return;
    const Endpoint module = Endpoint::ethernet(Endpoint::Udp, senderHost(sender), senderPort);
    if (module.isValid())
        entries.append({module.url(), ntx07ModuleType});
}

// Ethernet interface modules answer the probe; each answer is one entry, also a second one from
// the same module through another interface.
void probeUdp(QList<PortEntry> &entries, const QList<ProbeTarget> &targets, quint16 bindPort)
{
    QUdpSocket socket;
    socket.bind(QHostAddress::Any, bindPort);
    for (const ProbeTarget &target : targets)
        socket.writeDatagram(probeDatagram, target.address, target.port);

    // The wait runs the caller's timers and sockets but holds user input back, so that a click
    // cannot re-enter the window while discovery is still running. It sleeps in the event
    // dispatcher instead of spinning: the socket's notifier or this timer wakes it.
    QTimer wake;
    wake.start(probeWakeMs);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < probeListenMs) {
        if (socket.hasPendingDatagrams())
            readProbeAnswer(socket, entries);
        else
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                            QEventLoop::WaitForMoreEvents);
    }
    socket.close();
}

} // namespace

QList<ProbeTarget> MyDiFtdi::broadcastProbeTargets()
{
    QList<ProbeTarget> targets;
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &networkInterface : interfaces) {
        const QList<QNetworkAddressEntry> addressEntries = networkInterface.addressEntries();
        for (const QNetworkAddressEntry &entry : addressEntries) {
            if (entry.ip().protocol() == QAbstractSocket::IPv4Protocol &&
                !entry.broadcast().toString().isEmpty())
                targets.append({entry.broadcast(), ethModulePort});
        }
    }
    return targets;
}

QList<PortEntry> MyDiFtdi::discoverPorts(int mask)
{
    return discoverPorts(mask, (mask & PortUdp) ? broadcastProbeTargets() : QList<ProbeTarget>());
}

QList<PortEntry> MyDiFtdi::discoverPorts(int mask, const QList<ProbeTarget> &probeTargets, quint16 bindPort)
{
    QList<PortEntry> entries;
    if (mask & PortUsbKvmx)
        enumerateUsb(entries, kvmxProductId, kvmxModuleType);
    if (mask & PortSerial)
        enumerateSerial(entries);
    if (mask & PortUdp)
        probeUdp(entries, probeTargets, bindPort);
    if (mask & PortUsbVtap)
        enumerateUsb(entries, vtapProductId, vtapModuleType);
    for (const PortEntry &entry : qAsConst(entries))
        qCDebug(lcLink).noquote() << "Port : " << shownUrl(entry.url);
    return entries;
}
