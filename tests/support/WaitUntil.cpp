#include "WaitUntil.h"

#include <chrono>
#include <thread>

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs, const std::function<void()>& betweenChecks) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        if (betweenChecks) betweenChecks();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
