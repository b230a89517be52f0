#pragma once
// Turns SIGINT and SIGTERM into a close of the main window, as "Exit" does
// (remote mode left, port closed, settings written), whatever window is open:
// message boxes, file dialogs and the about window are dismissed first, the
// wait for the reset button is cancelled, a running transfer is let finish.
// The signal handler only writes a byte into a pipe; the window thread reads
// it through a socket notifier and closes the windows there, where it is safe
// to. On Windows a console's Ctrl+C, Ctrl+Break or close and the end of the
// session do the same (SignalCloserWin32.cpp).

#include <QObject>

class QSocketNotifier;
class QWidget;

// Whether a signal has arrived that the closer has not yet carried out, or
// is carrying out. Safe to ask where the event loop does not run: inside a
// blocking exchange, which can then stop waiting.
bool CloseSignalArrived();

class TSignalCloser : public QObject {
    Q_OBJECT

public:
    explicit TSignalCloser(QWidget& window);
    ~TSignalCloser() override;  // restores the previous handlers

    TSignalCloser(const TSignalCloser&) = delete;
    TSignalCloser& operator=(const TSignalCloser&) = delete;

    // Carries the request out on the window thread (queued by the handlers).
    Q_INVOKABLE void SignalArrived();

private:
    void EndOtherWindows();  // the same on every system (SignalCloser.cpp)

    QWidget& window_;
    QSocketNotifier* notifier_ = nullptr;
};
