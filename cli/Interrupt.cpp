// The interrupt flag and the sleep that watches it; how the flag is raised
// is each system's own (InterruptPosix.cpp, InterruptWin32.cpp).
#include "Interrupt.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

std::atomic<int> g_signal{0};

}  // namespace

void NoteInterrupt(int signal) {
    int expected = 0;
    g_signal.compare_exchange_strong(expected, signal);
}

int InterruptSignal() { return g_signal.load(); }

bool SleepUnlessInterrupted(int ms) {
    // The serial layer's watcher thread may be the one that receives the
    // signal, so the sleep cannot rely on being woken by EINTR; short slices
    // keep the reaction prompt without a second mechanism.
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(ms);
    while (!Interrupted()) {
        const auto now = clock::now();
        if (now >= deadline) return true;
        std::this_thread::sleep_for(std::min<clock::duration>(deadline - now, std::chrono::milliseconds(20)));
    }
    return false;
}
