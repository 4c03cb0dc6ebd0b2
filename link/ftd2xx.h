#ifndef FTD2XX_H
#define FTD2XX_H

// Our own small D2XX-shaped driver layer: the calls the link makes on a USB bus device, with the
// driver's call shape (status results, opaque handle, 100-byte list record). The calls forward to
// the driver backend installed with installD2xxDriver(); by default libftdi1 on Linux and the
// vendor's DLL, loaded at run time, on Windows.

#include <cstdint>
#include <memory>

using FT_STATUS = std::uint32_t;
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
    std::uint32_t Flags;
    std::uint32_t Type;
    std::uint32_t ID; // vendor id << 16 | product id
    std::uint32_t LocId;
    char SerialNumber[16];
    char Description[64];
    FT_HANDLE ftHandle;
};

FT_STATUS FT_CreateDeviceInfoList(std::uint32_t *numDevs);
FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, std::uint32_t *numDevs);
FT_STATUS FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t *flags, std::uint32_t *type,
                                 std::uint32_t *id, std::uint32_t *locId, char *serialNumber,
                                 char *description, FT_HANDLE *handle);
FT_STATUS FT_Open(int index, FT_HANDLE *handle);
FT_STATUS FT_SetBaudRate(FT_HANDLE handle, std::uint32_t baudRate);
FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity);
FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, std::uint32_t *rxBytes);
FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, std::uint32_t bytesToRead, std::uint32_t *bytesReturned);
FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, std::uint32_t bytesToWrite,
                   std::uint32_t *bytesWritten);
FT_STATUS FT_Close(FT_HANDLE handle);

class D2xxDriver;

// Replaces the driver backend behind the FT_ calls and returns the one it replaces (null if the
// default backend had not been created yet). Passing null restores the platform default.
std::unique_ptr<D2xxDriver> installD2xxDriver(std::unique_ptr<D2xxDriver> replacement);

#endif // FTD2XX_H
