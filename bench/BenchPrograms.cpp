// The programs as a user runs them, against the emulated simulator held to
// the speed of a 115200-baud line:
//  - start-up of the window to Polling, as a ratio to 300 ms (the first
//    scheduler step) plus the wire time of the start-up exchanges;
//  - CPU time of the polling window over a stretch of Polling (30 s), as a
//    share of one core;
//  - the scheduler's intervals as the simulator sees them: the step from the
//    search to the configuration read, and the shortest and longest time
//    between two status reads over 20 polls after the configuration read;
//  - peak memory of the window while polling, and of the command line
//    during "show".
// Usage: bench_programs [--poll-seconds N] [--starts N]   (the start-up figure
// is the median of N starts, 5 if not given)

#include "BenchSupport.h"

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "bench_programs: %s\n", why.c_str());
    std::exit(1);
}

constexpr double FirstStepMs = 300;  // from showing the window to its first scheduler step
constexpr double StepMs = 100;       // the scheduler's step from the search to the configuration read
constexpr double PollMs = 1000;      // between two status reads while polling
constexpr std::size_t StatusReads = 20;  // polls whose intervals are reported

}  // namespace

int main(int argc, char** argv) {
    int pollSeconds = 30;
    int starts = 5;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--poll-seconds") pollSeconds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--starts") starts = std::max(1, std::atoi(argv[i + 1]));
    }

    EmulatorOptions options;
    options.Pace = true;
    EmulatedSimulator emulator(options);
    emulator.Start();
    StampedLog log(emulator);
    const std::string port = emulator.PortPath();

    // The start-up exchanges, measured on the wire: commands and whole replies.
    std::size_t startupBytes = 0;
    for (const char* command : {"!I\r", "!B\r", "!S\r", "!C\r", "!K1\r"}) startupBytes += ExchangeBytes(port, command);
    const std::size_t remoteOnReply = ExchangeBytes(port, "!K0\r") - 4;  // as long as the reply to !K1
    const double reference = FirstStepMs + WireMs(startupBytes);

    // The window runs from a folder of its own, where it keeps its settings file.
    const fs::path folder = fs::temp_directory_path() / ("kns-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path program = folder / "knsimtool";
    fs::copy_file(ProgramPath("knsimtool"), program, fs::copy_options::overwrite_existing);

    // One start-up is at the mercy of whatever else the machine does in that
    // half second: the window is started several times (each closing before
    // the next starts, the first without a settings file, as on a first run)
    // and the median counts. The last one stays for the polling figures.
    std::vector<double> startups;
    auto startWindow = [&](std::size_t from) {
        const auto started = BenchClock::now();
        auto window = std::make_unique<BenchChild>(program.string(), std::vector<std::string>{"--port", port},
                                                   std::map<std::string, std::string>{{"QT_QPA_PLATFORM", "offscreen"}},
                                                   (folder / "window.out").string());
        const auto remoteOn = log.WaitFor("!K1", from, 30000);
        if (!remoteOn) Fail("the window never reached Polling");
        startups.push_back(MsBetween(started, remoteOn->At) + WireMs(remoteOnReply));
        return window;
    };
    for (int i = 1; i < starts; ++i) {
        auto earlier = startWindow(log.Size());
        earlier->Terminate();
        if (earlier->Wait(10000).Status != 0) Fail("a window started for the start-up figure did not end cleanly");
    }
    const std::size_t from = log.Size();
    const std::unique_ptr<BenchChild> kept = startWindow(from);
    BenchChild& window = *kept;
    std::vector<double> sorted = startups;
    std::sort(sorted.begin(), sorted.end());
    const double startup = sorted[sorted.size() / 2];

    std::printf("Window start-up against knsim-emu --pace\n");
    std::printf("  start-up exchanges:          %zu bytes, wire time %.1f ms\n", startupBytes, WireMs(startupBytes));
    std::printf("  reference:                   %.1f ms (300 ms first step + wire time)\n", reference);
    std::printf("  process start to Polling:    %.1f ms, median of %zu starts (%.1f to %.1f ms; includes the\n"
                "                               scheduler's %g ms step between the search and the\n"
                "                               configuration read)\n",
                startup, startups.size(), sorted.front(), sorted.back(), StepMs);
    std::printf("RATIO startup %.3f (goal <= 1.2)\n", startup / reference);
    std::printf("RATIO startup-with-step %.3f (against reference + %g ms)\n", startup / (reference + StepMs), StepMs);
    std::fflush(stdout);

    // Let the start-up settle, then measure a stretch of Polling.
    std::this_thread::sleep_for(std::chrono::seconds(1));
    const std::size_t pollsFrom = log.Size();
    const double cpu0 = window.CpuSeconds();
    const auto t0 = BenchClock::now();
    std::this_thread::sleep_for(std::chrono::seconds(pollSeconds));
    const double cpu1 = window.CpuSeconds();
    const auto t1 = BenchClock::now();
    std::size_t polls = 0;
    const auto entries = log.Entries();
    for (std::size_t i = pollsFrom; i < entries.size(); ++i) polls += entries[i].Text == "!S";
    const double share = (cpu1 - cpu0) / (MsBetween(t0, t1) / 1000.0);
    const long windowPeak = window.PeakKb();

    std::printf("Window while polling, %d s\n", pollSeconds);
    std::printf("  status reads:                %zu\n", polls);
    std::printf("  CPU time:                    %.3f s\n", cpu1 - cpu0);
    std::printf("RATIO cpu %.4f of one core = %.2f %% (goal < 1 %%)\n", share, share * 100);
    std::printf("  peak memory (VmHWM):         %.1f MB\n", windowPeak / 1024.0);
    std::printf("RATIO window-memory %.3f of 45 MB (goal < 1)\n", windowPeak / 1024.0 / 45.0);
    std::fflush(stdout);

    // The scheduler's intervals as the simulator sees them: from the search's
    // "!B" to the configuration read's "!S", and between two status reads
    // while polling, from the configuration read's "!S" on.
    {
        std::size_t b = entries.size();
        for (std::size_t i = from; i < entries.size(); ++i) {
            if (entries[i].Text == "!K1") break;
            if (entries[i].Text == "!B") b = i;
        }
        // The configuration read's "!S", then the polls.
        std::vector<BenchClock::time_point> reads;
        for (std::size_t i = b; i < entries.size() && reads.size() < StatusReads + 2; ++i)
            if (entries[i].Text == "!S") reads.push_back(entries[i].At);
        if (b == entries.size() || reads.size() < 3) Fail("too few status reads for the scheduler's intervals");
        double shortest = 1e9, longest = 0;
        for (std::size_t i = 2; i < reads.size(); ++i) {
            const double gap = MsBetween(reads[i - 1], reads[i]);
            shortest = std::min(shortest, gap);
            longest = std::max(longest, gap);
        }
        const double searchToRead = MsBetween(entries[b].At, reads[0]);
        const double readToPoll = MsBetween(reads[0], reads[1]);
        std::printf("Scheduler intervals, from the simulator's side of the line\n");
        std::printf("  \"!B\" to the next \"!S\":       %.1f ms (the %g ms step, never shorter)\n", searchToRead,
                    StepMs);
        std::printf("  configuration read to the first poll: %.1f ms (\"!S\", \"!C\", \"!K1\", then %g ms)\n",
                    readToPoll, PollMs);
        std::printf("  between two polls:           shortest %.1f ms, longest %.1f ms over %zu intervals\n"
                    "                               (the %g ms poll, never shorter)\n",
                    shortest, longest, reads.size() - 2, PollMs);
        std::printf("RATIO step-interval %.4f of %g ms (goal >= 1)\n", searchToRead / StepMs, StepMs);
        std::printf("RATIO poll-interval-shortest %.4f of %g ms (goal >= 1)\n", shortest / PollMs, PollMs);
        std::printf("RATIO poll-interval-longest %.4f of %g ms\n", longest / PollMs, PollMs);
        std::fflush(stdout);
    }

    window.Terminate();
    const auto closed = window.Wait(10000);
    if (closed.Status != 0) std::fprintf(stderr, "bench_programs: the window ended with status %d\n", closed.Status);

    BenchChild cli(ProgramPath("knsimtool-cli"), {"--port", port, "show"}, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}},
                   (folder / "cli.out").string());
    const auto shown = cli.Wait(30000);
    if (shown.Status != 0) Fail("knsimtool-cli show ended with status " + std::to_string(shown.Status));
    std::printf("Command line \"show\"\n");
    std::printf("  peak memory (max RSS):       %.1f MB\n", shown.PeakKb / 1024.0);
    std::printf("RATIO cli-memory %.3f of 8 MB (goal < 1)\n", shown.PeakKb / 1024.0 / 8.0);

    std::error_code ignored;
    fs::remove_all(folder, ignored);
    return 0;
}
