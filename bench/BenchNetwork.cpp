// The simulator through a serial device server: ser2net on the loopback
// interface in front of knsim-emu --pace, against the same emulator reached
// on its pseudo-terminal directly, measured in one run.
//  - the update: knsimtool-cli update-firmware of an older simulator, from
//    "!@" to the closing frame as the simulator's log times it (each update
//    against a fresh emulator in a process of its own);
//  - knsimtool-cli info: from the program's start to its end;
//  - the window polling through the server for a while (--soak-seconds N,
//    default 300): its memory after the first minute and at the end, which
//    must not grow with the connection's age.
// The ways take turns for a few rounds (--rounds N, default 5); each figure
// is the median of its rounds. ser2net runs as the README configures it
// (chardelay off), and once more with its default for comparison.

#include "BenchSupport.h"

#include "Ser2net.h"
#include "TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& why) { throw std::runtime_error(why); }

// knsim-emu --pace in a process of its own, logging with times.
class PacedEmulator {
public:
    PacedEmulator(const fs::path& folder, int number, std::vector<std::string> extra)
        : log_(folder / ("emu-" + std::to_string(number) + ".log")),
          output_(folder / ("emu-" + std::to_string(number) + ".out")) {
        std::vector<std::string> args = {"--pace", "--log", log_.string(), "--log-times"};
        args.insert(args.end(), extra.begin(), extra.end());
        process_ = std::make_unique<BenchChild>(ProgramPath("knsim-emu"), args, std::map<std::string, std::string>{},
                                                output_.string());
        for (int waited = 0; port_.empty() && waited < 10000; waited += 10) {
            std::ifstream in(output_);
            std::string line;
            if (std::getline(in, line) && !in.eof())
                port_ = line;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (port_.empty()) Fail("knsim-emu did not name its port");
    }
    const std::string& Port() const { return port_; }
    // The time (ms since the emulator started) of the first entry equal to text.
    std::optional<double> TimeOf(const std::string& text) const {
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            double ms = 0;
            std::string rest;
            if (!(fields >> ms)) continue;
            std::getline(fields >> std::ws, rest);
            if (rest == text) return ms;
        }
        return std::nullopt;
    }

private:
    fs::path log_, output_;
    std::unique_ptr<BenchChild> process_;
    std::string port_;
};

double TimedCli(const std::vector<std::string>& args, const fs::path& output) {
    const auto start = BenchClock::now();
    BenchChild cli(ProgramPath("knsimtool-cli"), args, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}}, output.string());
    const auto ended = cli.Wait(120000);
    const double ms = MsBetween(start, BenchClock::now());
    if (ended.Status != 0)
        Fail("knsimtool-cli " + args[1] + " " + args.back() + " ended with status " + std::to_string(ended.Status) +
             ": " + ReadFile(output));
    return ms;
}

}  // namespace

static int Bench(int argc, char** argv) {
    int rounds = 5;
    int soakSeconds = 300;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--soak-seconds") soakSeconds = std::max(61, std::atoi(argv[i + 1]));
    }
    const TempFolder scratchFolder("kns-bench-network");
    const fs::path scratch = scratchFolder.Path();
    int emulators = 0;

    // 0: the pseudo-terminal directly; 1: through ser2net as the README sets
    // it up; 2: through ser2net with its default chardelay, for comparison.
    std::vector<double> update[3], info[3];
    for (int round = 0; round <= rounds; ++round) {  // round 0 warms up and is not counted
        for (const int way : {0, 1, 2}) {
            const PacedEmulator emu(scratch, emulators++, {"--version", "1.0.0", "--restart-ms", "300"});
            std::unique_ptr<Ser2net> server;
            if (way > 0) server = std::make_unique<Ser2net>(emu.Port(), way == 2);
            const std::string port = way > 0 ? server->RfcName() : emu.Port();
            (void)TimedCli({"--port", port, "update-firmware"}, scratch / "cli.out");
            const auto begin = emu.TimeOf("!@");
            const auto end = emu.TimeOf("frame 02");
            if (!begin || !end) Fail("an update did not run from \"!@\" to the closing frame");
            // Now current: info asks, finds no update due, and leaves.
            const double infoMs = TimedCli({"--port", port, "info"}, scratch / "cli.out");
            if (round == 0) continue;
            update[way].push_back(*end - *begin);
            info[way].push_back(infoMs);
        }
    }
    std::printf("Through ser2net (rfc2217://127.0.0.1) against the pseudo-terminal directly, knsim-emu --pace,\n"
                "medians of %d rounds taken in turns\n",
                rounds);
    const double ud = Median(update[0]), us = Median(update[1]), uc = Median(update[2]);
    const double id = Median(info[0]), is = Median(info[1]), ic = Median(info[2]);
    std::printf("  update, \"!@\" to the closing frame: direct %.1f ms, through the server %.1f ms\n", ud, us);
    std::printf("  RATIO update %.3f (goal <= 1.05)\n", us / ud);
    std::printf("  knsimtool-cli info, start to end:  direct %.1f ms, through the server %.1f ms\n", id, is);
    std::printf("  RATIO info %.3f (goal <= 1.1)\n", is / id);
    std::printf("  with ser2net's default chardelay: update %.1f ms (%.3f), info %.1f ms (%.3f)\n", uc, uc / ud, ic,
                ic / id);
    std::fflush(stdout);

    // The window polling through the server: every purge is answered by the
    // server, and nothing of that may stay behind.
    const PacedEmulator emu(scratch, emulators++, {});
    const Ser2net server(emu.Port());
    const fs::path program = scratch / "knsimtool";
    fs::copy_file(ProgramPath("knsimtool"), program, fs::copy_options::overwrite_existing);
    BenchChild window(program.string(), {"--port", server.RfcName()}, {{"QT_QPA_PLATFORM", "offscreen"}},
                      (scratch / "window.out").string());
    std::this_thread::sleep_for(std::chrono::seconds(60));
    if (!emu.TimeOf("!S")) Fail("the window never polled through the server");
    const long firstMinute = window.ResidentKb();
    std::this_thread::sleep_for(std::chrono::seconds(soakSeconds - 60));
    const long atEnd = window.ResidentKb();
    std::printf("Window polling through ser2net for %d s\n", soakSeconds);
    std::printf("  memory (VmRSS) after 60 s:   %ld kB\n", firstMinute);
    std::printf("  memory (VmRSS) after %d s:  %ld kB\n", soakSeconds, atEnd);
    std::printf("  RATIO window-growth %ld kB (goal <= 8 kB)\n", atEnd - firstMinute);
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Bench(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_network: %s\n", e.what());
        return 1;
    }
}
