#pragma once
// Waiting in tests on what can be observed instead of sleeping a fixed time.

#include <functional>

// Checks pred until it holds or timeoutMs has passed; the last result of
// pred. Between checks it calls betweenChecks (when given; code under test
// that runs on this thread's event loop needs its events processed) and
// pauses briefly.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000,
               const std::function<void()>& betweenChecks = {});
