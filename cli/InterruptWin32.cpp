// Console control events through SetConsoleCtrlHandler.
#include "Interrupt.h"

#include <windows.h>

#include <csignal>

namespace {

// Windows ends the process as soon as the handler of a close, log-off or
// shut-down event returns (and in any case a few seconds later). Holding the
// handler gives the main thread that time to leave remote mode and close the
// port; the process ends with main(), taking this thread with it.
constexpr DWORD kCloseGraceMs = 4000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        NoteInterrupt(SIGINT);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        NoteInterrupt(SIGTERM);
        Sleep(kCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void InstallInterruptHandlers() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
