#include "ParentConsole.h"

#include <windows.h>

#include <cstdio>

namespace {

bool Redirected(DWORD which) {
    const HANDLE handle = GetStdHandle(which);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

void UseParentConsole() {
    // Output sent to a file or a pipe stays there. Wine hands a program that
    // a Linux shell started that shell's terminal as its standard handles, so
    // under wine this is the path taken; on Windows it is taken for
    // "knsimtool.exe --version > version.txt".
    const bool outRedirected = Redirected(STD_OUTPUT_HANDLE);
    const bool errRedirected = Redirected(STD_ERROR_HANDLE);
    if (outRedirected && errRedirected) return;
    // Started from Explorer there is no console to attach to, and nothing is shown.
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // The command prompt does not wait for a window program; the text comes
    // after its prompt, as with every window program that prints.
    if (!outRedirected) std::freopen("CONOUT$", "w", stdout);
    if (!errRedirected) std::freopen("CONOUT$", "w", stderr);
}
