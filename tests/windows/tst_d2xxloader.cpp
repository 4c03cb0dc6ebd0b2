// The Windows USB driver loader (link/d2xxdriver_win.cpp) behind the FT_ calls, under Wine: without a driver
// DLL, with the fake ftd2xx.dll (fakeftd2xx.c) and with a copy lacking the close call; then the resources.
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

void expectNoDriver()
{
    std::uint32_t count = 9, listed = 9;
    FT_DEVICE_LIST_INFO_NODE node{};
    CHECK(FT_CreateDeviceInfoList(&count) == FT_OK && count == 0);
    CHECK(FT_GetDeviceInfoList(&node, &listed) == FT_OK && listed == 0);
    CHECK(FT_Open(0, &node.ftHandle) == FT_DEVICE_NOT_FOUND && node.ftHandle == nullptr);
    CHECK(FT_Close(&node) == FT_INVALID_HANDLE);
}

void withFakeDriver()
{
    std::uint32_t count = 0, done = 0;
    CHECK(FT_CreateDeviceInfoList(&count) == FT_OK && count == 2);
    FT_DEVICE_LIST_INFO_NODE list[3]; // the third for the details of the second
    std::memset(list, 0xCC, sizeof list);
    CHECK(FT_GetDeviceInfoList(list, &count) == FT_OK && count == 2);
    CHECK(list[0].ID == 0x0403EF51 && list[1].Flags == 0 && list[1].Type == 5 && list[1].ID == 0x0403EF50 &&
          list[1].LocId == 0x0122 && std::strcmp(list[1].SerialNumber, "KV001203") == 0 &&
          std::strcmp(list[1].Description, "Telvoran KVMX bus master") == 0 && list[1].ftHandle == nullptr);
    CHECK(FT_GetDeviceInfoDetail(1, &list[2].Flags, &list[2].Type, &list[2].ID, &list[2].LocId,
                                 list[2].SerialNumber, list[2].Description, &list[2].ftHandle) == FT_OK);
    CHECK(std::memcmp(&list[2], &list[1], sizeof list[1]) == 0);

    FT_HANDLE handle = nullptr;
    CHECK(FT_Open(1, &handle) == FT_OK && handle != nullptr);
    CHECK(FT_SetBaudRate(handle, 38400) == FT_OK);
    CHECK(FT_SetDataCharacteristics(handle, 8, 0, 0) == FT_OK);
    CHECK(FT_GetQueueStatus(handle, &count) == FT_OK && count == 5);
    char rx[64];
    CHECK(FT_Read(handle, rx, sizeof rx, &done) == FT_OK && std::string(rx, done) == "\x02"
                                                                                     "AB\x03\xFF");
    const char frame[] = "\x02"
                         "BD0231F0\x03";
    CHECK(FT_Write(handle, frame, 10, &done) == FT_OK && done == 10);
    // The driver's status comes through as it is: 4 tells the link the device is gone.
    if (const auto refuseNext = fakeControl<void (*)(DWORD)>("fakeRefuseNext"); CHECK(refuseNext))
        refuseNext(FT_DEVICE_GONE);
    CHECK(FT_Write(handle, frame, 10, &done) == FT_DEVICE_GONE);
    CHECK(FT_Close(handle) == FT_OK);
    expectCalls("FT_CreateDeviceInfoList\nFT_GetDeviceInfoList\nFT_GetDeviceInfoDetail 1\nFT_Open 1\n"
                "FT_SetBaudRate 1 38400\nFT_SetDataCharacteristics 1 8 0 0\nFT_GetQueueStatus 1\n"
                "FT_Read 1 64\nFT_Write 1 10 02424430323331463003\nFT_Write 1 10 02424430323331463003\n"
                "FT_Close 1\n");
}

// Windows 7 without the loader update refuses LoadLibraryEx's search flags. The loader's import of
// LoadLibraryExA is pointed here to play that; fallbackLoads counts the loads it lets through.
using LoadLibraryExFn = HMODULE(WINAPI *)(LPCSTR, HANDLE, DWORD);
LoadLibraryExFn realLoadLibraryEx = nullptr;
int fallbackLoads = 0;

HMODULE WINAPI refuseSearchFlags(LPCSTR name, HANDLE file, DWORD flags)
{
    if (flags & (LOAD_LIBRARY_SEARCH_DEFAULT_DIRS | LOAD_LIBRARY_SEARCH_SYSTEM32 |
                 LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_USER_DIRS)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    ++fallbackLoads;
    return realLoadLibraryEx(name, file, flags);
}

// Replaces this program's import of `name` from any DLL; gives the import it replaces.
void *redirectImport(const char *name, void *replacement)
{
    auto *base = reinterpret_cast<BYTE *>(GetModuleHandleA(nullptr));
    const auto *nt = reinterpret_cast<IMAGE_NT_HEADERS *>(base + reinterpret_cast<IMAGE_DOS_HEADER *>(base)->e_lfanew);
    const IMAGE_DATA_DIRECTORY &imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto *dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR *>(base + imports.VirtualAddress); dll->Name; ++dll) {
        auto *names = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->OriginalFirstThunk);
        auto *slots = reinterpret_cast<IMAGE_THUNK_DATA *>(base + dll->FirstThunk);
        for (; names->u1.AddressOfData; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal) ||
                std::strcmp(reinterpret_cast<IMAGE_IMPORT_BY_NAME *>(base + names->u1.AddressOfData)->Name, name))
                continue;
            DWORD protection = 0;
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &protection);
            void *replaced = reinterpret_cast<void *>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
            return replaced;
        }
    }
    return nullptr;
}

// Without the search flags: only the system folder's copy, by its full path, however many others the
// working directory, PATH and the added folders hold.
void withoutSearchFlags(const std::string &folder)
{
    realLoadLibraryEx = reinterpret_cast<LoadLibraryExFn>(
        redirectImport("LoadLibraryExA", reinterpret_cast<void *>(&refuseSearchFlags)));
    if (!CHECK(realLoadLibraryEx))
        return;
    const std::wstring wideFolder(folder.begin(), folder.end());
    AddDllDirectory((wideFolder + L"\\full").c_str());
    installD2xxDriver(nullptr);
    expectNoDriver();
    CHECK(fallbackLoads == 1 && GetModuleHandleA("ftd2xx.dll") == nullptr);
    char system[MAX_PATH];
    const std::string systemCopy = std::string(system, GetSystemDirectoryA(system, MAX_PATH)) + "\\ftd2xx.dll";
    CHECK(CopyFileA((folder + "\\full\\ftd2xx.dll").c_str(), systemCopy.c_str(), FALSE));
    installD2xxDriver(nullptr);
    withFakeDriver();
    CHECK(fallbackLoads == 2);
    installD2xxDriver(nullptr);
    DeleteFileA(systemCopy.c_str());
    redirectImport("LoadLibraryExA", reinterpret_cast<void *>(realLoadLibraryEx));
}

void versionResource(const char *path)
{
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

    // The loader's lines, read back at the end.
    const std::string logPath = folder + "\\loader.log";
    CHECK(std::freopen(logPath.c_str(), "w", stderr) != nullptr);

    expectNoDriver(); // neither this program's folder nor the prefix holds an ftd2xx.dll
    // Dropping the loader frees its DLL: the next FT_ call loads ftd2xx.dll again. Not from the working
    // directory or PATH, only from a folder added here.
    installD2xxDriver(nullptr);
    SetCurrentDirectoryA((folder + "\\full").c_str());
    SetEnvironmentVariableA("PATH", (folder + "\\full").c_str());
    expectNoDriver();
    CHECK(GetModuleHandleA("ftd2xx.dll") == nullptr);
    installD2xxDriver(nullptr);
    const std::wstring wideFolder(folder.begin(), folder.end());
    DLL_DIRECTORY_COOKIE added = AddDllDirectory((wideFolder + L"\\full").c_str());
    withFakeDriver();
    installD2xxDriver(nullptr);
    RemoveDllDirectory(added);
    AddDllDirectory((wideFolder + L"\\lacking").c_str()); // loaded only if the complete fake was freed
    expectNoDriver();
    CHECK(GetModuleHandleA("ftd2xx.dll") != nullptr); // found and kept, but not called
    expectCalls("");
    withoutSearchFlags(folder);
    versionResource(path);

    // One line each, however often the driver was missing or lacking, named by the project's path.
    std::fflush(stderr);
    std::string log(1024, '\0');
    if (FILE *file = std::fopen(logPath.c_str(), "r"))
        log.resize(std::fread(&log[0], 1, log.size(), file)), std::fclose(file);
    const auto lines = [&log](const char *text) {
        int count = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1))
            ++count;
        return count;
    };
    if (!CHECK(lines("\n") == 2 && lines("link/d2xxdriver_win.cpp:") == 2 &&
               lines(" - ftd2xx.dll not found (the USB driver is not installed): no USB device is listed\n") == 1 &&
               lines(" - ftd2xx.dll lacks the call of ordinal 2: no USB device is listed\n") == 1))
        std::printf("log:\n%s\n", log.c_str());

    std::printf("d2xx loader under Wine: %d checks, %d failed\n", checks, failures);
    return failures == 0 ? 0 : 1;
}
