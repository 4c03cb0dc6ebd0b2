#include "ftd2xx.h"

#include "d2xxdriver.h"

namespace {

// Process-wide, used from the GUI thread only.
std::unique_ptr<D2xxDriver> &installedDriver()
{
    static std::unique_ptr<D2xxDriver> installed;
    return installed;
}

D2xxDriver &driver()
{
    std::unique_ptr<D2xxDriver> &installed = installedDriver();
    if (!installed)
        installed = makeDefaultD2xxDriver();
    return *installed;
}

} // namespace

std::unique_ptr<D2xxDriver> installD2xxDriver(std::unique_ptr<D2xxDriver> replacement)
{
    std::unique_ptr<D2xxDriver> &installed = installedDriver();
    std::unique_ptr<D2xxDriver> previous = std::move(installed);
    installed = std::move(replacement); // a null one is replaced by the default on first use
    return previous;
}

FT_STATUS FT_CreateDeviceInfoList(std::uint32_t *numDevs)
{
    return driver().createDeviceInfoList(numDevs);
}

FT_STATUS FT_GetDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, std::uint32_t *numDevs)
{
    return driver().getDeviceInfoList(list, numDevs);
}

FT_STATUS FT_GetDeviceInfoDetail(std::uint32_t index, std::uint32_t *flags, std::uint32_t *type,
                                 std::uint32_t *id, std::uint32_t *locId, char *serialNumber,
                                 char *description, FT_HANDLE *handle)
{
    return driver().getDeviceInfoDetail(index, flags, type, id, locId, serialNumber, description, handle);
}

FT_STATUS FT_Open(int index, FT_HANDLE *handle)
{
    return driver().open(index, handle);
}

FT_STATUS FT_SetBaudRate(FT_HANDLE handle, std::uint32_t baudRate)
{
    return driver().setBaudRate(handle, baudRate);
}

FT_STATUS FT_SetDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                    std::uint8_t parity)
{
    return driver().setDataCharacteristics(handle, wordLength, stopBits, parity);
}

FT_STATUS FT_GetQueueStatus(FT_HANDLE handle, std::uint32_t *rxBytes)
{
    return driver().getQueueStatus(handle, rxBytes);
}

FT_STATUS FT_Read(FT_HANDLE handle, void *buffer, std::uint32_t bytesToRead, std::uint32_t *bytesReturned)
{
    return driver().read(handle, buffer, bytesToRead, bytesReturned);
}

FT_STATUS FT_Write(FT_HANDLE handle, const void *buffer, std::uint32_t bytesToWrite,
                   std::uint32_t *bytesWritten)
{
    return driver().write(handle, buffer, bytesToWrite, bytesWritten);
}

FT_STATUS FT_Close(FT_HANDLE handle)
{
    return driver().close(handle);
}
