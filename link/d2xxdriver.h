#ifndef D2XXDRIVER_H
#define D2XXDRIVER_H

#include "ftd2xx.h"

// A backend of the D2XX-shaped layer. Each call has the meaning of the FT_ call of the same name;
// list indices are those of the last createDeviceInfoList().
class D2xxDriver
{
public:
    virtual ~D2xxDriver() = default;

    virtual FT_STATUS createDeviceInfoList(std::uint32_t *numDevs) = 0;
    virtual FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, std::uint32_t *numDevs) = 0;
    virtual FT_STATUS getDeviceInfoDetail(std::uint32_t index, std::uint32_t *flags, std::uint32_t *type,
                                          std::uint32_t *id, std::uint32_t *locId, char *serialNumber,
                                          char *description, FT_HANDLE *handle) = 0;
    virtual FT_STATUS open(int index, FT_HANDLE *handle) = 0;
    virtual FT_STATUS setBaudRate(FT_HANDLE handle, std::uint32_t baudRate) = 0;
    virtual FT_STATUS setDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                             std::uint8_t parity) = 0;
    virtual FT_STATUS getQueueStatus(FT_HANDLE handle, std::uint32_t *rxBytes) = 0;
    virtual FT_STATUS read(FT_HANDLE handle, void *buffer, std::uint32_t bytesToRead,
                           std::uint32_t *bytesReturned) = 0;
    virtual FT_STATUS write(FT_HANDLE handle, const void *buffer, std::uint32_t bytesToWrite,
                            std::uint32_t *bytesWritten) = 0;
    virtual FT_STATUS close(FT_HANDLE handle) = 0;
};

// The platform's default backend: libftdi1 on Linux, the vendor DLL on Windows, else one that
// lists no device.
std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver();

#endif // D2XXDRIVER_H
