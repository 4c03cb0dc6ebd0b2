#include "parentconsole.h"

#include <cstdio>
#include <windows.h>

namespace {

bool missing(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

} // namespace

void ParentConsole::attach()
{
    const bool noOutput = missing(STD_OUTPUT_HANDLE);
    const bool noError = missing(STD_ERROR_HANDLE);
    // Started from Explorer there is no console to attach to, and nothing to print to either.
    if ((!noOutput && !noError) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    // A stream that cannot be reopened stays without a place to go, as it was.
    if (noOutput && !std::freopen("CONOUT$", "w", stdout))
        return;
    if (noError && !std::freopen("CONOUT$", "w", stderr))
        return;
}
