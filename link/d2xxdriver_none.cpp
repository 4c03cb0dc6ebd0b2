#include "d2xxdriver.h"

namespace {

// Stands in where no USB driver library was available at build time: no device is ever listed,
// so discovery finds none and every open fails as for an absent device.
class NoD2xxDriver : public D2xxDriver
{
public:
    FT_STATUS createDeviceInfoList(std::uint32_t *numDevs) override
    {
        *numDevs = 0;
        return FT_OK;
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *, std::uint32_t *numDevs) override
    {
        *numDevs = 0;
        return FT_OK;
    }
    FT_STATUS getDeviceInfoDetail(std::uint32_t, std::uint32_t *, std::uint32_t *, std::uint32_t *,
                                  std::uint32_t *, char *, char *, FT_HANDLE *) override
    {
        return FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS open(int, FT_HANDLE *) override { return FT_DEVICE_NOT_FOUND; }
    FT_STATUS setBaudRate(FT_HANDLE, std::uint32_t) override { return FT_INVALID_HANDLE; }
    FT_STATUS setDataCharacteristics(FT_HANDLE, std::uint8_t, std::uint8_t, std::uint8_t) override
    {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS getQueueStatus(FT_HANDLE, std::uint32_t *) override { return FT_INVALID_HANDLE; }
    FT_STATUS read(FT_HANDLE, void *, std::uint32_t, std::uint32_t *) override { return FT_INVALID_HANDLE; }
    FT_STATUS write(FT_HANDLE, const void *, std::uint32_t, std::uint32_t *) override
    {
        return FT_INVALID_HANDLE;
    }
    FT_STATUS close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
};

} // namespace

std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver()
{
    return std::make_unique<NoD2xxDriver>();
}
