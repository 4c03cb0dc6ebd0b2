// The Windows USB driver loader (link/d2xxdriver_win.cpp) behind the FT_ calls, run under Wine with no
// driver DLL, with the fake ftd2xx.dll of fakeftd2xx.c, and with a copy of the fake that lacks the close
// call. Also reads back the version resource and icon linked into this program.
#include "d2xxdriver.h"
#include "toolboxversion.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

int checks = 0, failures = 0;

bool check(bool passed, const char *what, int line)
{
    ++checks;
    if (!passed)
        ++failures, std::printf("FAIL line %d: %s\n", line, what);
    return passed;
}
#define CHECK(condition) check((condition), #condition, __LINE__)

// The fake's own exports, from the ftd2xx.dll loaded at the moment.
template <class Fn> Fn fakeControl(const char *name)
{
    HMODULE fake = GetModuleHandleA("ftd2xx.dll");
    return fake ? reinterpret_cast<Fn>(reinterpret_cast<void *>(GetProcAddress(fake, name))) : nullptr;
}

void expectCalls(const char *expected)
{
    const auto calls = fakeControl<const char *(*)()>("fakeCalls");
    if (!CHECK(calls && std::strcmp(calls(), expected) == 0))
        std::printf("calls:\n%s\nexpected:\n%s\n", calls ? calls() : "(no fake loaded)", expected);
}

// Drops the loader, which frees its DLL; the next FT_ call loads ftd2xx.dll afresh, from `folder` too.
void reloadDriver(const std::string &folder)
{
    installD2xxDriver(nullptr);
    SetDllDirectoryA(folder.c_str());
}

void expectNoDriver()
{
    std::uint32_t count = 9;
    FT_DEVICE_LIST_INFO_NODE node{};
    FT_HANDLE handle = nullptr;
    CHECK(FT_CreateDeviceInfoList(&count) == FT_OK && count == 0);
    count = 9;
    CHECK(FT_GetDeviceInfoList(&node, &count) == FT_OK && count == 0);
    CHECK(FT_Open(0, &handle) == FT_DEVICE_NOT_FOUND && handle == nullptr);
    CHECK(FT_Close(&node) == FT_INVALID_HANDLE);
}

void withFakeDriver()
{
    std::uint32_t count = 0, flags = 9, type = 9, id = 9, locId = 9;
    CHECK(FT_CreateDeviceInfoList(&count) == FT_OK && count == 2);
    FT_DEVICE_LIST_INFO_NODE list[2];
    std::memset(list, 0xCC, sizeof list);
    CHECK(FT_GetDeviceInfoList(list, &count) == FT_OK && count == 2);
    CHECK(list[0].ID == 0x0403EF51 && list[0].LocId == 0x0121 && std::strcmp(list[0].SerialNumber, "VT000417") == 0);
    CHECK(list[1].Flags == 0 && list[1].Type == 5 && list[1].ID == 0x0403EF50 && list[1].LocId == 0x0122);
    CHECK(std::strcmp(list[1].SerialNumber, "KV001203") == 0 && list[1].ftHandle == nullptr &&
          std::strcmp(list[1].Description, "Telvoran KVMX bus master") == 0);

    char serial[16] = "", description[64] = "";
    FT_HANDLE handle = &count;
    CHECK(FT_GetDeviceInfoDetail(1, &flags, &type, &id, &locId, serial, description, &handle) == FT_OK);
    CHECK(flags == 0 && type == 5 && id == 0x0403EF50 && locId == 0x0122 && handle == nullptr);
    CHECK(std::strcmp(serial, "KV001203") == 0 && std::strcmp(description, "Telvoran KVMX bus master") == 0);

    CHECK(FT_Open(1, &handle) == FT_OK && handle != nullptr);
    CHECK(FT_SetBaudRate(handle, 38400) == FT_OK);
    CHECK(FT_SetDataCharacteristics(handle, 8, 0, 0) == FT_OK);
    CHECK(FT_GetQueueStatus(handle, &count) == FT_OK && count == 5);
    char bytes[4096];
    std::uint32_t done = 0;
    CHECK(FT_Read(handle, bytes, sizeof bytes, &done) == FT_OK && done == 5 &&
          std::memcmp(bytes, "\x02" "AB\x03\xFF", 5) == 0);
    const char frame[] = "\x02" "BD0231F0\x03";
    CHECK(FT_Write(handle, frame, 10, &done) == FT_OK && done == 10);
    // The driver's status comes through as it is: 4 tells the link the device is gone.
    if (const auto refuse = fakeControl<void (*)(const char *, DWORD)>("fakeRefuse"); CHECK(refuse))
        refuse("FT_Write", FT_DEVICE_GONE);
    CHECK(FT_Write(handle, frame, 10, &done) == FT_DEVICE_GONE);
    CHECK(FT_GetDeviceInfoList(list, &count) == FT_OK && list[1].Flags == 1 && list[1].ftHandle == handle);
    CHECK(FT_Close(handle) == FT_OK);
    expectCalls("FT_CreateDeviceInfoList\nFT_GetDeviceInfoList\nFT_GetDeviceInfoDetail 1\nFT_Open 1\n"
                "FT_SetBaudRate 1 38400\nFT_SetDataCharacteristics 1 8 0 0\nFT_GetQueueStatus 1\n"
                "FT_Read 1 4096\nFT_Write 1 10 02424430323331463003\nFT_Write 1 10 02424430323331463003\n"
                "FT_GetDeviceInfoList\nFT_Close 1\n");
}

void versionResource()
{
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string info(GetFileVersionInfoSizeA(path, nullptr), '\0');
    void *fixed = nullptr, *text = nullptr;
    UINT size = 0;
    CHECK(!info.empty() && GetFileVersionInfoA(path, 0, DWORD(info.size()), &info[0]));
    CHECK(VerQueryValueA(info.data(), "\\", &fixed, &size) &&
          static_cast<VS_FIXEDFILEINFO *>(fixed)->dwFileVersionMS ==
              DWORD(TOOLBOX_VERSION_MAJOR << 16 | TOOLBOX_VERSION_MINOR));
    CHECK(VerQueryValueA(info.data(), "\\StringFileInfo\\040904b0\\FileVersion", &text, &size) &&
          std::strcmp(static_cast<char *>(text), TOOLBOX_VERSION_QUAD) == 0);
    CHECK(FindResourceA(nullptr, "IDI_ICON1", MAKEINTRESOURCEA(14)) != nullptr); // 14: RT_GROUP_ICON
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0); // a crash keeps the lines before it
    char path[MAX_PATH];
    std::string folder(path, GetModuleFileNameA(nullptr, path, MAX_PATH));
    folder.erase(folder.find_last_of('\\'));

    expectNoDriver(); // neither this program's folder nor the prefix holds an ftd2xx.dll
    reloadDriver(folder + "\\full");
    withFakeDriver();
    reloadDriver(folder + "\\lacking");
    CHECK(GetModuleHandleA("ftd2xx.dll") == nullptr); // the loader freed the complete fake
    expectNoDriver();
    CHECK(GetModuleHandleA("ftd2xx.dll") != nullptr); // found and kept, but not called
    expectCalls("");
    versionResource();

    std::printf("d2xx loader under Wine: %d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
