// USB transport: the bus master (KVMX) and the vtap device through the D2XX driver layer, polled
// every 50 ms.

#include "mydiftdi.h"

#include "linklog.h"

#include <QDebug>
#include <QTimer>

#include <algorithm>
#include <vector>

namespace {

constexpr int pollIntervalMs = 50;
constexpr int writeAttempts = 2;

// The list record's text fields are not NUL-terminated when they are full.
QByteArray recordText(const char *field, int size)
{
    return QByteArray(field, int(qstrnlen(field, uint(size))));
}

void logRecord(int index, const FT_DEVICE_LIST_INFO_NODE &node)
{
    qCDebug(lcLink) << "Dev :" << index;
    qCDebug(lcLink).nospace() << " Flags=" << Qt::hex << Qt::showbase << node.Flags;
    qCDebug(lcLink).nospace() << " Type=" << node.Type;
    qCDebug(lcLink).nospace() << " ID=" << Qt::hex << Qt::showbase << node.ID;
    qCDebug(lcLink).nospace() << " LocId=" << Qt::hex << Qt::showbase << node.LocId;
    qCDebug(lcLink).nospace().noquote()
        << " SerialNumber=" << recordText(node.SerialNumber, sizeof node.SerialNumber);
    qCDebug(lcLink).nospace().noquote()
        << " Description=" << recordText(node.Description, sizeof node.Description);
    qCDebug(lcLink).nospace() << " ftHandle=" << node.ftHandle;
}

} // namespace

int MyDiFtdi::openUsb(quint16 vid, quint16 pid)
{
    const QString noDevice = QStringLiteral("no USB device with vid %1 and pid %2").arg(vid).arg(pid);
    const QString unlisted = QStringLiteral("the USB driver could not list the devices");
    quint32 attached = 0;
    if (FT_CreateDeviceInfoList(&attached) != FT_OK)
        return failOpen(OpenDeviceRefused, unlisted);
    if (attached == 0)
        return failOpen(OpenNoDevice, noDevice);
    std::vector<FT_DEVICE_LIST_INFO_NODE> list(attached);
    quint32 listed = attached;
    if (FT_GetDeviceInfoList(list.data(), &listed) != FT_OK)
        return failOpen(OpenDeviceRefused, unlisted);
    if (listed == 0)
        return failOpen(OpenNoDevice, noDevice, -2);

    // Several devices may share the id; the first one that opens is used (another program may hold
    // the others).
    const quint32 key = quint32(vid) << 16 | pid;
    const int count = int(std::min(listed, attached));
    int chosen = -1;
    bool found = false;
    for (int index = 0; index < count && chosen < 0; ++index) {
        if (list[size_t(index)].ID != key)
            continue;
        qCDebug(lcLink) << "FOUND";
        found = true;
        if (FT_Open(index, &ftHandle) == FT_OK)
            chosen = index;
        else
            ftHandle = nullptr;
    }
    if (chosen < 0)
        return failOpen(found ? OpenDeviceBusy : OpenNoDevice,
                        found ? QStringLiteral("USB device busy (another program may hold it)") : noDevice,
                        -2);
    logRecord(chosen, list[size_t(chosen)]);

    const bool vtap = pid == vtapProductId;
    const int baud = vtap ? vtapBaudRate : kvmxBaudRate;
    if (FT_SetBaudRate(ftHandle, quint32(baud)) != FT_OK ||
        FT_SetDataCharacteristics(ftHandle, 8, 0, 0) != FT_OK) {
        FT_Close(ftHandle);
        ftHandle = nullptr;
        return failOpen(OpenDeviceRefused, QStringLiteral("USB device refused %1 baud, 8-N-1").arg(baud));
    }

    pollUsbTimer.reset(new QTimer);
    pollUsbTimer->setInterval(pollIntervalMs);
    connect(pollUsbTimer.get(), &QTimer::timeout, this, &MyDiFtdi::on_pollUsbTimer_timeout_cb);
    pollUsbTimer->start();

    connected = true;
    transport = vtap ? TransportUsbVtap : TransportUsbKvmx;
    emit connectStateChanged(true);
    return 1;
}

void MyDiFtdi::closeUsb()
{
    if (pollUsbTimer) {
        // This may run inside the timer's own tick: it is stopped now and deleted later.
        pollUsbTimer->stop();
        disconnect(pollUsbTimer.get(), nullptr, this, nullptr);
        pollUsbTimer.reset();
    }
    if (!ftHandle)
        return;
    const FT_STATUS status = FT_Close(ftHandle);
    if (status != FT_OK) {
        qCWarning(lcLink) << "Unable to close : " << status;
        return;
    }
    ftHandle = nullptr;
    markDisconnected();
}

int MyDiFtdi::writeUsb(const QByteArray &bytes)
{
    const auto length = quint32(bytes.size());
    quint32 written = 0;
    bool aborted = false;
    for (int attempt = 1; attempt <= writeAttempts; ++attempt) {
        written = 0;
        const FT_STATUS status = FT_Write(ftHandle, bytes.constData(), length, &written);
        if (status == FT_DEVICE_GONE) {
            qCWarning(lcLink) << "Failed to send frame. KVMX is maybe disconnect. Update status and abort.";
            close();
            return -1;
        }
        if (status == FT_OK)
            break;
        qCWarning(lcLink) << "Failed to send frame " << status;
        aborted = attempt == writeAttempts;
        if (aborted)
            qCWarning(lcLink) << "Abort.";
        else
            qCDebug(lcLink) << "Retry.";
    }
    written = std::min(written, length);
    // After a refused last attempt the frame did not go out, whatever count the driver gives.
    if (aborted && written == length)
        return -1;
    if (written != length)
        qCWarning(lcLink) << "Incomplete send. Maybe loop until nbrbytes is complete";
    return int(written);
}

void MyDiFtdi::on_pollUsbTimer_timeout_cb()
{
    quint32 waiting = 0;
    const FT_STATUS status = FT_GetQueueStatus(ftHandle, &waiting);
    if (status != FT_OK) {
        qCWarning(lcLink) << "Error GetQueueStatus";
        if (status == FT_DEVICE_GONE) {
            qCWarning(lcLink) << "USB maybe unplugged, close connection";
            // Releases this tick's own timer (deferred) and the handle; only the queue is used below.
            close();
        }
    } else if (waiting > 0) {
        char chunk[usbReadChunk];
        const quint32 wanted = std::min(waiting, quint32(usbReadChunk));
        quint32 delivered = 0;
        if (FT_Read(ftHandle, chunk, wanted, &delivered) == FT_OK) {
            rxBuffer.append(chunk, int(std::min(delivered, wanted)));
            cutItems();
        } else {
            qCWarning(lcLink) << "Error read data";
        }
    }
    emitIfItems();
}
