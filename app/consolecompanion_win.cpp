// telvoran-dali-toolbox.com: the console-subsystem companion of the window program. cmd.exe finds a
// .com before an .exe of the same name, waits for a console program and keeps its exit status in
// %ERRORLEVEL%; it does neither for the GUI-subsystem window program. The companion starts the window
// program beside it with the same command line and its own standard streams (the console, or a file
// or pipe they were redirected to), waits for it and ends with its exit status. Ctrl+C at the prompt
// ends the program, as it ends a console program.
#include <atomic>
#include <cwchar>
#include <windows.h>

namespace {

// Read by the console's control handler, which runs on a thread of its own.
std::atomic<HANDLE> child{nullptr};

// Exit status when the window program cannot be started (the program's own are 0 to 3).
constexpr int notStarted = 9009;

// The longest command line Windows passes on, in characters.
constexpr size_t longestLine = 32768;

void complain(const wchar_t *path)
{
    wchar_t line[longestLine + 100];
    const int length = std::swprintf(line, sizeof line / sizeof *line,
                                     L"telvoran-dali-toolbox: cannot start %ls (error %lu)\r\n", path, GetLastError());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD written = 0;
    if (length <= 0 || WriteConsoleW(error, line, static_cast<DWORD>(length), &written, nullptr))
        return;
    // Redirected to a file or a pipe: in the console's code page, as the program writes.
    char bytes[sizeof line];
    const UINT codePage = GetConsoleOutputCP() != 0 ? GetConsoleOutputCP() : CP_ACP;
    const int size = WideCharToMultiByte(codePage, 0, line, length, bytes, sizeof bytes, nullptr, nullptr);
    if (size > 0)
        WriteFile(error, bytes, static_cast<DWORD>(size), &written, nullptr);
}

// The rest of the command line after the program's own name, as cmd handed it over: quoting and
// spacing reach the window program unchanged.
const wchar_t *argumentsOf(const wchar_t *line)
{
    if (*line == L'"') {
        ++line;
        while (*line && *line != L'"')
            ++line;
        if (*line)
            ++line;
    } else {
        while (*line && *line != L' ' && *line != L'\t')
            ++line;
    }
    return line;
}

// The same stream, inheritable: the window program writes where this one would.
HANDLE inheritable(DWORD which)
{
    const HANDLE handle = GetStdHandle(which);
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS))
        return handle;
    return copy;
}

BOOL WINAPI onControl(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;
    // The window program is not attached to the console and would run on unseen.
    if (const HANDLE running = child.load())
        TerminateProcess(running, STATUS_CONTROL_C_EXIT);
    return TRUE;
}

} // namespace

int main()
{
    // The window program: this one's path with .exe for its extension.
    static wchar_t path[longestLine];
    const DWORD length = GetModuleFileNameW(nullptr, path, longestLine - 4);
    if (length == 0 || length >= longestLine - 4)
        return notStarted;
    wchar_t *extension = std::wcsrchr(path, L'.');
    if (extension == nullptr || std::wcschr(extension, L'\\') != nullptr)
        extension = path + length;
    std::wcscpy(extension, L".exe");

    static wchar_t commandLine[longestLine + MAX_PATH];
    if (std::swprintf(commandLine, sizeof commandLine / sizeof *commandLine, L"\"%ls\"%ls", path,
                      argumentsOf(GetCommandLineW())) < 0)
        return notStarted;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inheritable(STD_INPUT_HANDLE);
    startup.hStdOutput = inheritable(STD_OUTPUT_HANDLE);
    startup.hStdError = inheritable(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    SetConsoleCtrlHandler(onControl, TRUE);
    if (!CreateProcessW(path, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        complain(path);
        return notStarted;
    }
    child.store(process.hProcess);
    CloseHandle(process.hThread);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = notStarted;
    GetExitCodeProcess(process.hProcess, &status);
    return static_cast<int>(status);
}
