#ifndef LIBFTDIDRIVER_H
#define LIBFTDIDRIVER_H

#include "d2xxdriver.h"

#include <QByteArray>
#include <QVector>
#include <memory>
#include <vector>

struct ftdi_context;

// The D2XX backend on Linux: the bus master (0403:EF50) and the vtap device (0403:EF51) through
// libftdi1. libftdi has no receive queue of its own, so each handle keeps one: a queue-status call
// drains what the chip holds with a short USB read and the read call serves from that buffer.
class LibFtdiDriver : public D2xxDriver
{
public:
    LibFtdiDriver() = default;
    ~LibFtdiDriver() override;
    LibFtdiDriver(const LibFtdiDriver &) = delete;
    LibFtdiDriver &operator=(const LibFtdiDriver &) = delete;

    FT_STATUS createDeviceInfoList(quint32 *numDevs) override;
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs) override;
    FT_STATUS getDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id, quint32 *locId,
                                  char *serialNumber, char *description, FT_HANDLE *handle) override;
    FT_STATUS open(int index, FT_HANDLE *handle) override;
    FT_STATUS setBaudRate(FT_HANDLE handle, quint32 baudRate) override;
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits,
                                     quint8 parity) override;
    FT_STATUS getQueueStatus(FT_HANDLE handle, quint32 *rxBytes) override;
    FT_STATUS read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) override;
    FT_STATUS write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                    quint32 *bytesWritten) override;
    FT_STATUS close(FT_HANDLE handle) override;

private:
    // One device of the last enumeration; bus and address find it again at open.
    struct ListedDevice
    {
        quint16 vendorId = 0;
        quint16 productId = 0;
        quint8 bus = 0;
        quint8 address = 0;
        QByteArray serialNumber;
        QByteArray description;
    };

    struct OpenDevice
    {
        ftdi_context *ftdi = nullptr;
        quint8 bus = 0;
        quint8 address = 0;
        QByteArray rxQueue;
    };

    OpenDevice *openDevice(FT_HANDLE handle) const;
    FT_HANDLE handleAt(const ListedDevice &device) const;
    void fillNode(int index, FT_DEVICE_LIST_INFO_NODE &node) const;
    static FT_STATUS drainChip(OpenDevice &device);
    static bool deviceGone(OpenDevice &device);

    QVector<ListedDevice> listed;
    std::vector<std::unique_ptr<OpenDevice>> openDevices;
};

#endif // LIBFTDIDRIVER_H
