// TSignalCloser on Windows: a console's Ctrl+C, Ctrl+Break or close, and the
// end of the user's session, close the main window as "Exit" does.
#include "SignalCloser.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <windows.h>

namespace {

// One handler per process: it cannot know which object to tell.
QPointer<QWidget> closingWindow;

// Windows ends the process once the handler of a console close, log-off or
// shut-down returns: hold it a moment so that the window thread can leave
// remote mode and close the port.
constexpr DWORD kCloseGraceMs = 4000;

BOOL WINAPI OnConsoleEvent(DWORD event) {
    QWidget* window = closingWindow.data();
    if (!window) return FALSE;
    // The handler runs on a thread of its own; the window closes on its thread.
    QMetaObject::invokeMethod(window, "close", Qt::QueuedConnection);
    if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
        Sleep(kCloseGraceMs);
    return TRUE;
}

}  // namespace

TSignalCloser::TSignalCloser(QWidget& window) : window_(window) {
    closingWindow = &window;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    // The session ends (log-off, shut-down): Windows asks the application
    // first, and that is the moment to close while the port can still be left cleanly.
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] { window_.close(); });
}

TSignalCloser::~TSignalCloser() {
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    closingWindow = nullptr;
}

void TSignalCloser::SignalArrived() { window_.close(); }
