#include "Interrupt.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

std::atomic<int> g_signal{0};

extern "C" void OnSignal(int sig) {
    int expected = 0;
    g_signal.compare_exchange_strong(expected, sig);
}

}  // namespace

void InstallInterruptHandlers() {
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    // A reader that goes away (| head) must not kill us before the port is
    // closed; the failed write is simply lost.
    std::signal(SIGPIPE, SIG_IGN);
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
