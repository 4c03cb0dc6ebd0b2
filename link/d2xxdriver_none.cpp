#include "d2xxdriver.h"

namespace {

// Stands in where no USB driver library was available at build time: no device is ever listed,
// so discovery finds none and every open fails as for an absent device.
class NoD2xxDriver : public D2xxDriver
{
public:
    FT_STATUS createDeviceInfoList(quint32 *numDevs) override
    {
        *numDevs = 0;
        return FT_OK;
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *, quint32 *numDevs) override
    {
        *numDevs = 0;
        return FT_OK;
    }
    FT_STATUS getDeviceInfoDetail(quint32, quint32 *, quint32 *, quint32 *, quint32 *, char *, char *,
                                  FT_HANDLE *) override
    {
        return FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS open(int, FT_HANDLE *) override { return FT_DEVICE_NOT_FOUND; }
    FT_STATUS setBaudRate(FT_HANDLE, quint32) override { return FT_INVALID_HANDLE; }
    FT_STATUS setDataCharacteristics(FT_HANDLE, quint8, quint8, quint8) override { return FT_INVALID_HANDLE; }
    FT_STATUS getQueueStatus(FT_HANDLE, quint32 *) override { return FT_INVALID_HANDLE; }
    FT_STATUS read(FT_HANDLE, void *, quint32, quint32 *) override { return FT_INVALID_HANDLE; }
    FT_STATUS write(FT_HANDLE, const void *, quint32, quint32 *) override { return FT_INVALID_HANDLE; }
    FT_STATUS close(FT_HANDLE) override { return FT_INVALID_HANDLE; }
};

} // namespace

std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver()
{
    return std::make_unique<NoD2xxDriver>();
}
