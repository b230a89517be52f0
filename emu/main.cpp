// knsim-emu: the emulated simulator as a program, for the tool, demos and
// external test benches.

#include "EmulatedSimulator.h"
#include "EmulatorArgs.h"

#include <csignal>
#include <cstdio>
#include <exception>
#include <pthread.h>

int main(int argc, char** argv) {
    const EmulatorArgs args = ParseEmulatorArgs(std::vector<std::string>(argv + 1, argv + argc));
    if (args.Help) {
        std::fputs(EmulatorUsage().c_str(), stdout);
        return 0;
    }
    if (!args.Error.empty()) {
        std::fprintf(stderr, "knsim-emu: %s\nTry 'knsim-emu --help'.\n", args.Error.c_str());
        return 2;
    }

    // Signals are taken by sigwait below; block them before the service
    // thread starts so that it inherits the mask and never takes one itself.
    sigset_t signals;
    sigemptyset(&signals);
    for (int s : {SIGINT, SIGTERM, SIGHUP, SIGUSR1}) sigaddset(&signals, s);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    EmulatorOptions options = args.Options;
    options.KeepLog = false;  // a long run would only grow it; --log writes to a file
    options.OnPortChanged = [](const std::string& path) {
        std::printf("%s\n", path.c_str());
        std::fflush(stdout);
    };
    EmulatedSimulator emulator(options);
    try {
        emulator.Start();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "knsim-emu: %s\n", e.what());
        return 1;
    }
    std::printf("%s\n", emulator.PortPath().c_str());
    if (options.Obd.Enabled) std::printf("%s\n", emulator.ObdPortPath().c_str());
    std::fflush(stdout);

    for (;;) {
        int received = 0;
        if (sigwait(&signals, &received) != 0) continue;
        if (received == SIGUSR1) {
            emulator.PressReset();
            continue;
        }
        break;
    }
    emulator.Stop();
    return 0;
}
