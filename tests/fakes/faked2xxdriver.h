#ifndef FAKED2XXDRIVER_H
#define FAKED2XXDRIVER_H

#include "d2xxdriver.h"
#include "fakeusbdevice.h"

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QStringList>

// A D2XX backend simulating attached USB devices. `calls` records one entry per call: the verb, the
// list index (GetDeviceInfoDetail, Open) or the device behind the handle ("?" if none), then the
// arguments that matter, e.g. "SetBaudRate 0 38400", "Read 0 4096", "Write 0 10".
class FakeD2xxDriver : public D2xxDriver
{
public:
    FakeD2xxDriver() { clock.start(); }
    int addDevice(const FakeUsbDevice &device = {}); // returns its index
    FakeUsbDevice &device(int index) { return devices[index]; }
    void unplug(int index) { devices[index].unplugged = true; }
    int openHandleCount() const { return handles.size(); }
    qint64 now() const { return clock.elapsed(); } // the clock of writeTimes

    FT_STATUS createListStatus = FT_OK;
    FT_STATUS getListStatus = FT_OK;
    FT_STATUS detailStatus = FT_OK;
    QStringList calls;
    QList<qint64> writeTimes; // one per write call, in ms on now()'s clock

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
    QList<int> present() const; // device indices in list order
    // Records the call; the device behind the handle, nullptr if the handle is not open.
    FakeUsbDevice *record(FT_HANDLE handle, const QString &verb, const QString &arguments = {});

    QList<FakeUsbDevice> devices;
    QHash<FT_HANDLE, int> handles;
    quintptr nextHandle = 0x1000;
    QElapsedTimer clock;
};

// Installs a fresh FakeD2xxDriver behind the FT_ calls for its scope, then puts the previous back.
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
