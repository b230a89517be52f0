// TSignalCloser on Windows: a console's Ctrl+C, Ctrl+Break or close, and the
// end of the user's session, close the main window as "Exit" does.
#include "SignalCloser.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <windows.h>

#include <atomic>

namespace {

// One handler per process: it cannot know which object to tell.
QPointer<TSignalCloser> closingCloser;
// Set by the handler itself, for waits that hold the event loop up.
std::atomic<bool> signalArrived{false};

// Windows ends the process once the handler of a console close, log-off or
// shut-down returns: hold it a moment so that the window thread can leave
// remote mode and close the port.
constexpr DWORD kCloseGraceMs = 4000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    TSignalCloser* closer = closingCloser.data();
    if (!closer) return FALSE;
    signalArrived = true;
    // The handler runs on a thread of its own; the windows close on theirs.
    QMetaObject::invokeMethod(closer, "SignalArrived", Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

TSignalCloser::TSignalCloser(QWidget& window) : window_(window) {
    closingCloser = this;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // The session ends (log-off, shut-down): Windows asks the application
    // first, and that is the moment to close while the port can still be left cleanly.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] { SignalArrived(); });
}

TSignalCloser::~TSignalCloser() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    closingCloser = nullptr;
    signalArrived = false;
}

bool CloseSignalArrived() { return signalArrived; }

void TSignalCloser::SignalArrived() {
    EndOtherWindows();
    window_.close();
}
