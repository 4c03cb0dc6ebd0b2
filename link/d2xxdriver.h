#ifndef D2XXDRIVER_H
#define D2XXDRIVER_H

#include "ftd2xx.h"

// A backend of the D2XX-shaped layer. Each call has the meaning of the FT_ call of the same name;
// list indices are those of the last createDeviceInfoList().
class D2xxDriver
{
public:
    virtual ~D2xxDriver() = default;

    virtual FT_STATUS createDeviceInfoList(quint32 *numDevs) = 0;
    virtual FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs) = 0;
    virtual FT_STATUS getDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id,
                                          quint32 *locId, char *serialNumber, char *description,
                                          FT_HANDLE *handle) = 0;
    virtual FT_STATUS open(int index, FT_HANDLE *handle) = 0;
    virtual FT_STATUS setBaudRate(FT_HANDLE handle, quint32 baudRate) = 0;
    virtual FT_STATUS setDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits,
                                             quint8 parity) = 0;
    virtual FT_STATUS getQueueStatus(FT_HANDLE handle, quint32 *rxBytes) = 0;
    virtual FT_STATUS read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned) = 0;
    virtual FT_STATUS write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite,
                            quint32 *bytesWritten) = 0;
    virtual FT_STATUS close(FT_HANDLE handle) = 0;
};

// The platform's default backend: libftdi1 on Linux, the vendor DLL on Windows, else one that
// lists no device.
std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver();

#endif // D2XXDRIVER_H
