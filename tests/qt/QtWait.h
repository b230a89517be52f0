#pragma once
// Waiting in window tests: the code under test runs on this thread's event
// loop, so the wait processes events between its checks.

#include "WaitUntil.h"

#include <QCoreApplication>

inline void ProcessEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents, 20); }

// Processes events until pred holds or timeoutMs has passed; the result of pred.
inline bool WaitWithEvents(const std::function<bool()>& pred, int timeoutMs = 5000) {
    return WaitUntil(pred, timeoutMs, ProcessEvents);
}

// Processes events for ms milliseconds.
inline void Pump(int ms) { WaitUntil([] { return false; }, ms, ProcessEvents); }
