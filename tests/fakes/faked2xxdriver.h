#ifndef FAKED2XXDRIVER_H
#define FAKED2XXDRIVER_H

#include "d2xxdriver.h"
#include "fakeusbdevice.h"

#include <QHash>
#include <QList>
#include <QStringList>

// A D2XX backend simulating attached USB devices. It records every call in `calls`, one entry per
// call: the verb, then the list index (GetDeviceInfoDetail, Open) or the index of the device behind
// the handle (the other calls, "?" for an unknown handle), then the arguments that matter, e.g.
// "SetBaudRate 0 38400", "SetDataCharacteristics 0 8 0 0", "Read 0 4096", "Write 0 10".
class FakeD2xxDriver : public D2xxDriver
{
public:
    // Appends a device to the driver's list and returns its index.
    int addDevice(const FakeUsbDevice &device = {});
    FakeUsbDevice &device(int index);
    int deviceCount() const { return devices.size(); }
    // Marks the device gone: its handle calls give FT_DEVICE_GONE and the next enumeration omits it.
    void unplug(int index);
    // Number of handles currently open.
    int openHandleCount() const { return handles.size(); }

    FT_STATUS createListStatus = FT_OK;
    FT_STATUS getListStatus = FT_OK;
    FT_STATUS detailStatus = FT_OK;
    QStringList calls;

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
    QList<int> enumerate() const;
    // Device indices in list order: those of the last createDeviceInfoList, or the devices
    // attached now when no list was created yet.
    QList<int> currentList() const;
    // Device index behind a handle, -1 if the handle is not open.
    int deviceOf(FT_HANDLE handle) const;
    QString deviceLabel(FT_HANDLE handle) const;
    FT_HANDLE handleOf(int deviceIndex) const;
    void fillNode(int deviceIndex, int listIndex, FT_DEVICE_LIST_INFO_NODE &node) const;

    QList<FakeUsbDevice> devices;
    QList<int> listed;
    bool listCreated = false;
    QHash<FT_HANDLE, int> handles;
    quintptr nextHandle = 0x1000;
};

// Installs a fresh FakeD2xxDriver behind the FT_ calls for the scope of a test and puts the
// previous backend back afterwards.
class FakeD2xxScope
{
public:
    FakeD2xxScope();
    ~FakeD2xxScope();
    FakeD2xxScope(const FakeD2xxScope &) = delete;
    FakeD2xxScope &operator=(const FakeD2xxScope &) = delete;

    FakeD2xxDriver &driver() { return *fake; }

private:
    FakeD2xxDriver *fake = nullptr; // owned by the FT_ dispatch while installed
    std::unique_ptr<D2xxDriver> previous;
};

#endif // FAKED2XXDRIVER_H
