// TSignalCloser on Windows: a console's Ctrl+C, Ctrl+Break or close, the end
// of the user's session, and a close request from outside (taskkill, a task
// manager's "End task") close the main window as "Exit" does.
#include "SignalCloser.h"

#include <QAbstractNativeEventFilter>
#include <QApplication>
#include <QGuiApplication>
#include <QMetaObject>
#include <QPointer>
#include <QWidget>

#include <windows.h>

#include <atomic>
#include <memory>

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

// taskkill and "End task" post WM_CLOSE to each of the program's top-level
// windows. Qt drops it for a window that a modal one blocks (the message
// box, the update window), so that the program would go on waiting for an
// answer nobody gives; for the main window such a request is taken as a
// termination request instead. Without a modal window Qt's own close runs
// and ends the program as "Exit" does.
class CloseRequestFilter : public QAbstractNativeEventFilter {
public:
    explicit CloseRequestFilter(QWidget& window) : window_(window) {}

    bool nativeEventFilter(const QByteArray& type, void* message, qintptr*) override {
        if (type != "windows_generic_MSG") return false;
        const MSG* msg = static_cast<const MSG*>(message);
        if (msg->message != WM_CLOSE || !window_.internalWinId()) return false;
        if (msg->hwnd != reinterpret_cast<HWND>(window_.internalWinId())) return false;
        if (!QApplication::activeModalWidget()) return false;
        if (TSignalCloser* closer = closingCloser.data()) {
            signalArrived = true;
            QMetaObject::invokeMethod(closer, "SignalArrived", Qt::QueuedConnection);
        }
        return true;
    }

private:
    QWidget& window_;
};

std::unique_ptr<CloseRequestFilter> closeRequests;

}  // namespace

TSignalCloser::TSignalCloser(QWidget& window) : window_(window) {
    closingCloser = this;
    SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
    closeRequests = std::make_unique<CloseRequestFilter>(window);
    qApp->installNativeEventFilter(closeRequests.get());
    // The session ends (log-off, shut-down): Windows asks the application
    // first (WM_QUERYENDSESSION) and ends the process soon after the answer,
    // so the close runs right here, while the port can still be left cleanly.
    // (Wine leaves the process running after WM_ENDSESSION; Windows does not.)
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this] {
        signalArrived = true;
        SignalArrived();
    });
}

TSignalCloser::~TSignalCloser() {
    qApp->removeNativeEventFilter(closeRequests.get());
    closeRequests.reset();
    SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
    closingCloser = nullptr;
    signalArrived = false;
}

bool CloseSignalArrived() { return signalArrived; }

void TSignalCloser::SignalArrived() {
    EndOtherWindows();
    window_.close();
}
