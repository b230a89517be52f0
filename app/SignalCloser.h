#pragma once
// Turns SIGINT and SIGTERM into a close of the main window, as "Exit" does
// (remote mode left, port closed, settings written). The signal handler only
// writes a byte into a pipe; the window thread reads it through a socket
// notifier and closes the window there, where it is safe to. On Windows a
// console's Ctrl+C, Ctrl+Break or close and the end of the session do the
// same (SignalCloserWin32.cpp).

#include <QObject>

class QSocketNotifier;
class QWidget;

class TSignalCloser : public QObject {
    Q_OBJECT

public:
    explicit TSignalCloser(QWidget& window);
    ~TSignalCloser() override;  // restores the previous handlers

    TSignalCloser(const TSignalCloser&) = delete;
    TSignalCloser& operator=(const TSignalCloser&) = delete;

private:
    void SignalArrived();

    QWidget& window_;
    QSocketNotifier* notifier_ = nullptr;
};
