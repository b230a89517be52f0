#pragma once
// For widget tests on the offscreen platform, where nobody can press a
// button: a modal window that waits for an answer longer than the grace time
// fails the running test, naming the window, and is dismissed so that the
// test goes on (and ends) instead of waiting for ever. Tests answer the
// windows they expect well within the grace time.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class ModalGuard : public QObject {
public:
    static constexpr int DefaultGraceMs = 10000;
    explicit ModalGuard(int graceMs = DefaultGraceMs);

private:
    void Check();

    int graceMs_;
    QTimer timer_;
    QPointer<QWidget> waiting_;
    QElapsedTimer since_;
};
