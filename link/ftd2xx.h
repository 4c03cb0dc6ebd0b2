#ifndef FTD2XX_H
#define FTD2XX_H

// Our own small D2XX-shaped driver layer: the calls the link makes on a USB bus device, with the
// driver's call shape (status results, opaque handle, 100-byte list record). The calls forward to
// the driver backend installed with installD2xxDriver(); by default libftdi1 on Linux and the
// vendor's DLL, loaded at run time, on Windows.

#include <QtGlobal>
#include <memory>

using FT_STATUS = quint32;
using FT_HANDLE = void *;

enum : FT_STATUS {
    FT_OK = 0,
    FT_INVALID_HANDLE = 1,
    FT_DEVICE_NOT_FOUND = 2,
    FT_DEVICE_NOT_OPENED = 3,
    FT_DEVICE_GONE = 4, // the link takes this status as an unplugged device
    FT_INSUFFICIENT_RESOURCES = 5,
    FT_INVALID_PARAMETER = 6,
    FT_NOT_SUPPORTED = 17,
    FT_OTHER_ERROR = 18,
};

struct FT_DEVICE_LIST_INFO_NODE
{
    quint32 Flags;
    quint32 Type;
    quint32 ID; // vendor id << 16 | product id
    quint32 LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

FT_STATUS FT_CreateDeviceInfoList(quint32 *numDevs);
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, quint32 *numDevs);
FT_STATUS FT_GetDeviceInfoDetail(quint32 index, quint32 *flags, quint32 *type, quint32 *id, quint32 *locId,
                                 char *serialNumber, char *description, FT_HANDLE *handle);
FT_STATUS FT_Open(int index, FT_HANDLE *handle);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, quint32 baudRate);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, quint8 wordLength, quint8 stopBits, quint8 parity);
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, quint32 *rxBytes);
FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, quint32 bytesToRead, quint32 *bytesReturned);
FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, quint32 bytesToWrite, quint32 *bytesWritten);
FT_STATUS FT_Close(FT_HANDLE handle);

class D2xxDriver;

// Replaces the driver backend behind the FT_ calls and returns the one it replaces (null if the
// default backend had not been created yet). Passing null restores the platform default.
std::unique_ptr<D2xxDriver> installD2xxDriver(std::unique_ptr<D2xxDriver> replacement);

#endif // FTD2XX_H
