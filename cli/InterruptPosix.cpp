// SIGINT and SIGTERM through sigaction.
#include "Interrupt.h"

#include <csignal>

namespace {

extern "C" void OnSignal(int sig) { NoteInterrupt(sig); }

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
