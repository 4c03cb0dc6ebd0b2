#include "d2xxdriver.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <string>

// The vendor's D2XX driver DLL, loaded at run time so that the program starts (and lists no USB
// device) on a PC where the driver is not installed. Its entry points are imported by ordinal.

// The driver fills arrays of these records; its layout and ours must agree: the handle after
// 96 bytes of numbers and text, 100 bytes in a 32-bit program, 104 in a 64-bit one.
static_assert(offsetof(FT_DEVICE_LIST_INFO_NODE, ftHandle) == 96 &&
                  sizeof(FT_DEVICE_LIST_INFO_NODE) == (sizeof(void *) == 4 ? 100 : 104),
              "FT_DEVICE_LIST_INFO_NODE must have the driver's layout");

namespace {

using CreateDeviceInfoListFn = FT_STATUS(WINAPI *)(std::uint32_t *numDevs);
using GetDeviceInfoListFn = FT_STATUS(WINAPI *)(FT_DEVICE_LIST_INFO_NODE *list, std::uint32_t *numDevs);
using GetDeviceInfoDetailFn = FT_STATUS(WINAPI *)(std::uint32_t index, std::uint32_t *flags,
                                                  std::uint32_t *type, std::uint32_t *id,
                                                  std::uint32_t *locId, void *serialNumber, void *description,
                                                  FT_HANDLE *handle);
using OpenFn = FT_STATUS(WINAPI *)(int index, FT_HANDLE *handle);
using SetBaudRateFn = FT_STATUS(WINAPI *)(FT_HANDLE handle, std::uint32_t baudRate);
using SetDataCharacteristicsFn = FT_STATUS(WINAPI *)(FT_HANDLE handle, std::uint8_t wordLength,
                                                     std::uint8_t stopBits, std::uint8_t parity);
using GetQueueStatusFn = FT_STATUS(WINAPI *)(FT_HANDLE handle, std::uint32_t *rxBytes);
using ReadFn = FT_STATUS(WINAPI *)(FT_HANDLE handle, void *buffer, std::uint32_t bytesToRead,
                                   std::uint32_t *bytesReturned);
using WriteFn = FT_STATUS(WINAPI *)(FT_HANDLE handle, void *buffer, std::uint32_t bytesToWrite,
                                    std::uint32_t *bytesWritten);
using CloseFn = FT_STATUS(WINAPI *)(FT_HANDLE handle);

enum Ordinal : WORD {
    OrdinalOpen = 1,
    OrdinalClose = 2,
    OrdinalRead = 3,
    OrdinalWrite = 4,
    OrdinalSetBaudRate = 7,
    OrdinalSetDataCharacteristics = 8,
    OrdinalGetQueueStatus = 18,
    OrdinalCreateDeviceInfoList = 70,
    OrdinalGetDeviceInfoList = 71,
    OrdinalGetDeviceInfoDetail = 72,
};

// The driver is not part of the program: a PC without it lists no USB device, and the line that says
// why is written once, not on every refresh. This layer has no Qt: the line goes to stderr (a console
// or a script's redirection) and to the debugger's output, in the shape of the program's other lines.
void logOnce(bool &logged, int line, const std::string &message)
{
    if (logged)
        return;
    logged = true;
    const std::string text = std::string(__FILE__) + ":" + std::to_string(line) + " - " + message + "\n";
    std::fputs(text.c_str(), stderr);
    OutputDebugStringA(text.c_str());
}

template <class Fn> bool resolve(HMODULE library, WORD ordinal, Fn &fn)
{
    fn = reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(library, MAKEINTRESOURCEA(ordinal))));
    if (!fn) {
        static bool logged = false;
        logOnce(logged, __LINE__, "ftd2xx.dll lacks the call of ordinal " + std::to_string(ordinal) +
                                      ": no USB device is listed");
    }
    return fn != nullptr;
}

// From this program's folder, the system folder (where the driver's installer puts it) or a folder
// added with AddDllDirectory only: never the working directory or PATH, where a document folder or
// another program could hold an ftd2xx.dll of its own.
HMODULE loadDriverLibrary()
{
    HMODULE library = LoadLibraryExA("ftd2xx.dll", nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    // Windows 7 and Vista without the loader update refuse these flags outright: then the system
    // folder's copy, named by its full path, is the one place left that is as safe.
    if (!library && GetLastError() == ERROR_INVALID_PARAMETER) {
        char folder[MAX_PATH];
        const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
        if (length > 0 && length < MAX_PATH)
            library = LoadLibraryExA((std::string(folder, length) + "\\ftd2xx.dll").c_str(), nullptr,
                                     LOAD_WITH_ALTERED_SEARCH_PATH);
    }
    if (!library) {
        static bool logged = false;
        logOnce(logged, __LINE__, "ftd2xx.dll not found (the USB driver is not installed): no USB device is listed");
    }
    return library;
}

class DllD2xxDriver : public D2xxDriver
{
public:
    DllD2xxDriver()
        : library(loadDriverLibrary())
    {
        if (!library)
            return;
        loaded = resolve(library, OrdinalCreateDeviceInfoList, createDeviceInfoListFn) &&
                 resolve(library, OrdinalGetDeviceInfoList, getDeviceInfoListFn) &&
                 resolve(library, OrdinalGetDeviceInfoDetail, getDeviceInfoDetailFn) &&
                 resolve(library, OrdinalOpen, openFn) &&
                 resolve(library, OrdinalSetBaudRate, setBaudRateFn) &&
                 resolve(library, OrdinalSetDataCharacteristics, setDataCharacteristicsFn) &&
                 resolve(library, OrdinalGetQueueStatus, getQueueStatusFn) &&
                 resolve(library, OrdinalRead, readFn) && resolve(library, OrdinalWrite, writeFn) &&
                 resolve(library, OrdinalClose, closeFn);
    }
    ~DllD2xxDriver() override
    {
        if (library)
            FreeLibrary(library);
    }
    DllD2xxDriver(const DllD2xxDriver &) = delete;
    DllD2xxDriver &operator=(const DllD2xxDriver &) = delete;

    // Without the driver no device is attached, as far as the program can tell.
    FT_STATUS createDeviceInfoList(std::uint32_t *numDevs) override
    {
        if (!loaded) {
            *numDevs = 0;
            return FT_OK;
        }
        return createDeviceInfoListFn(numDevs);
    }
    FT_STATUS getDeviceInfoList(FT_DEVICE_LIST_INFO_NODE *list, std::uint32_t *numDevs) override
    {
        if (!loaded) {
            *numDevs = 0;
            return FT_OK;
        }
        return getDeviceInfoListFn(list, numDevs);
    }
    FT_STATUS getDeviceInfoDetail(std::uint32_t index, std::uint32_t *flags, std::uint32_t *type,
                                  std::uint32_t *id, std::uint32_t *locId, char *serialNumber,
                                  char *description, FT_HANDLE *handle) override
    {
        if (!loaded)
            return FT_DEVICE_NOT_FOUND;
        return getDeviceInfoDetailFn(index, flags, type, id, locId, serialNumber, description, handle);
    }
    FT_STATUS open(int index, FT_HANDLE *handle) override
    {
        return loaded ? openFn(index, handle) : FT_DEVICE_NOT_FOUND;
    }
    FT_STATUS setBaudRate(FT_HANDLE handle, std::uint32_t baudRate) override
    {
        return loaded ? setBaudRateFn(handle, baudRate) : FT_INVALID_HANDLE;
    }
    FT_STATUS setDataCharacteristics(FT_HANDLE handle, std::uint8_t wordLength, std::uint8_t stopBits,
                                     std::uint8_t parity) override
    {
        return loaded ? setDataCharacteristicsFn(handle, wordLength, stopBits, parity) : FT_INVALID_HANDLE;
    }
    FT_STATUS getQueueStatus(FT_HANDLE handle, std::uint32_t *rxBytes) override
    {
        return loaded ? getQueueStatusFn(handle, rxBytes) : FT_INVALID_HANDLE;
    }
    FT_STATUS read(FT_HANDLE handle, void *buffer, std::uint32_t bytesToRead,
                   std::uint32_t *bytesReturned) override
    {
        return loaded ? readFn(handle, buffer, bytesToRead, bytesReturned) : FT_INVALID_HANDLE;
    }
    FT_STATUS write(FT_HANDLE handle, const void *buffer, std::uint32_t bytesToWrite,
                    std::uint32_t *bytesWritten) override
    {
        // The driver's write takes a non-const buffer but only reads it.
        return loaded ? writeFn(handle, const_cast<void *>(buffer), bytesToWrite, bytesWritten)
                      : FT_INVALID_HANDLE;
    }
    FT_STATUS close(FT_HANDLE handle) override { return loaded ? closeFn(handle) : FT_INVALID_HANDLE; }

private:
    HMODULE library = nullptr;
    bool loaded = false;
    CreateDeviceInfoListFn createDeviceInfoListFn = nullptr;
    GetDeviceInfoListFn getDeviceInfoListFn = nullptr;
    GetDeviceInfoDetailFn getDeviceInfoDetailFn = nullptr;
    OpenFn openFn = nullptr;
    SetBaudRateFn setBaudRateFn = nullptr;
    SetDataCharacteristicsFn setDataCharacteristicsFn = nullptr;
    GetQueueStatusFn getQueueStatusFn = nullptr;
    ReadFn readFn = nullptr;
    WriteFn writeFn = nullptr;
    CloseFn closeFn = nullptr;
};

} // namespace

std::unique_ptr<D2xxDriver> makeDefaultD2xxDriver()
{
    return std::make_unique<DllD2xxDriver>();
}
