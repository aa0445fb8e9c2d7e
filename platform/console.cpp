#include "platform/console.h"

#ifdef _WIN32

#include <windows.h>

#include <cstdio>

namespace {

// A handle the C runtime already writes to: redirected to a file, a pipe or
// (under Wine, or when a console program passes its own on) a console.
bool Leads(DWORD stream) {
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
    const bool out = Leads(STD_OUTPUT_HANDLE), err = Leads(STD_ERROR_HANDLE);
    if (out && err) return;
    // Started by a double click there is no console to attach to, and the
    // lines go nowhere, as a windowed program's do.
    if (AttachConsole(ATTACH_PARENT_PROCESS) == 0) return;
    if (!out) std::freopen("CONOUT$", "w", stdout);
    if (!err) std::freopen("CONOUT$", "w", stderr);
}

#else

void UseParentConsole() {}

#endif
