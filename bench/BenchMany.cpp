// A bench of simulators from one command line: eight emulated boxes on paced
// lines (and four silent ports), measured against a single box in the same
// run. Prints the figures and RATIO lines; never passes or fails on a time.
//   bench_many [--rounds N]   medians of N rounds (default 3)
//              [--plans]      only the test plans' figures
#include "BenchSupport.h"

#include "ExampleSetup.h"
#include "TestFiles.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int Boxes = 8;
constexpr int SilentPorts = 4;

struct Run {
    double Ms = 0;
    BenchChild::Ended End;
};

Run RunCli(const std::vector<std::string>& args, const std::string& ports) {
    const auto started = BenchClock::now();
    BenchChild cli(ProgramPath("knsimtool-cli"), args, {{"KNSIM_CLI_PORTS", ports}});
    Run run;
    run.End = cli.Wait(120000);
    run.Ms = MsBetween(started, BenchClock::now());
    if (run.End.Status != 0) throw std::runtime_error("knsimtool-cli " + args.back() + " ended with " +
                                                      std::to_string(run.End.Status));
    return run;
}

std::string Joined(const std::vector<std::string>& names) {
    std::string text;
    for (const auto& n : names) text += (text.empty() ? "" : ",") + n;
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 3;
    bool plansOnly = false;
    for (int i = 1; i < argc; ++i) plansOnly = plansOnly || std::string(argv[i]) == "--plans";
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
    try {
        std::vector<std::unique_ptr<EmulatedSimulator>> emulators;
        std::vector<std::string> boxes, silent;
        for (int i = 0; i < Boxes + SilentPorts; ++i) {
            EmulatorOptions o;
            o.Pace = true;
            o.KeepLog = false;
            o.Serial = "KNBENCH" + std::to_string(i);
            o.Version = std::array<std::uint8_t, 3>{1, 1, 0};  // an update is due
            o.Faults.Silent = i >= Boxes;
            emulators.push_back(std::make_unique<EmulatedSimulator>(o));
            emulators.back()->Start();
            (i < Boxes ? boxes : silent).push_back(emulators.back()->PortPath());
        }
        std::vector<std::string> all = boxes;
        all.insert(all.end(), silent.begin(), silent.end());
        const std::string file = ExampleFile();

        // Test plans: one step with a set-up and a command that does nothing,
        // against set-codes alone; a step per protocol on one box and on eight.
        const TempFolder plans("kns-bench-plan");
        WriteFile(plans / "one.toml", "[[step]]\nname = \"codes\"\necu1 = [\"P0301\"]\nrun = \"exit 0\"\n");
        std::string nine;
        for (int p = 1; p <= 9; ++p)
            nine += "[[step]]\nname = \"protocol " + std::to_string(p) + "\"\nprotocol = " + std::to_string(p) +
                    "\necu1 = [\"P030" + std::to_string(p) + "\"]\nrun = \"exit 0\"\n[step.expect]\ncodes = 1\n";
        WriteFile(plans / "nine.toml", nine);

        std::vector<double> update1, update8, update12, apply1, apply8, find1, find8, findSilent, cpuShare;
        std::vector<double> setCodes, planStep, plan1, plan8;
        long peakKb = 0;
        for (int r = 0; r < rounds; ++r) {
            if (!plansOnly) {
                // The single box and the bench take turns, so that both meet the same machine.
                update1.push_back(RunCli({"--port", boxes[0], "update-firmware", "--always"}, boxes[0]).Ms);
                const Run bench = RunCli({"--all", "update-firmware", "--always"}, Joined(boxes));
                update8.push_back(bench.Ms);
                peakKb = std::max(peakKb, bench.End.PeakKb);
                cpuShare.push_back(bench.End.CpuSeconds / (bench.Ms / 1000.0) / Boxes);
                // The same eight among the silent ports, which a box does not wait for.
                update12.push_back(RunCli({"--all", "update-firmware", "--always"}, Joined(all)).Ms);

                apply1.push_back(RunCli({"--port", boxes[0], "apply", file}, boxes[0]).Ms);
                apply8.push_back(RunCli({"--port", Joined(boxes), "apply", file}, boxes[0]).Ms);

                find1.push_back(RunCli({"--port", boxes[0], "info"}, boxes[0]).Ms);
                find8.push_back(RunCli({"--all", "info"}, Joined(all)).Ms);
                BenchChild lone(ProgramPath("knsimtool-cli"), {"--all", "info"}, {{"KNSIM_CLI_PORTS", silent[0]}});
                const auto started = BenchClock::now();
                lone.Wait(60000);  // ends with 1: nothing answers there
                findSilent.push_back(MsBetween(started, BenchClock::now()));
            }

            setCodes.push_back(RunCli({"--port", boxes[0], "set-codes", "--ecu1", "P0301"}, boxes[0]).Ms);
            planStep.push_back(RunCli({"--port", boxes[0], "run", plans / "one.toml"}, boxes[0]).Ms);
            plan1.push_back(RunCli({"--port", boxes[0], "run", plans / "nine.toml"}, boxes[0]).Ms);
            plan8.push_back(RunCli({"--port", Joined(boxes), "run", plans / "nine.toml"}, boxes[0]).Ms);
        }

        std::printf("A bench of %d simulators on paced lines (knsim-emu --pace), medians of %d rounds\n", Boxes, rounds);
        if (!plansOnly) {
            std::printf("  update-firmware, one box:           %.1f ms\n", Median(update1));
            std::printf("  update-firmware --all, %d boxes:     %.1f ms\n", Boxes, Median(update8));
            std::printf("RATIO bench-update %.3f (goal <= 1.15)\n", Median(update8) / Median(update1));
            std::printf("  the same among %d silent ports:      %.1f ms\n", SilentPorts, Median(update12));
            std::printf("RATIO bench-update-among-silent %.3f\n", Median(update12) / Median(update1));
            std::printf("  apply, one box:                     %.1f ms\n", Median(apply1));
            std::printf("  apply, %d boxes:                     %.1f ms\n", Boxes, Median(apply8));
            std::printf("RATIO bench-apply %.3f (goal <= 1.2)\n", Median(apply8) / Median(apply1));
            std::printf("  info, one box on one port:          %.1f ms\n", Median(find1));
            std::printf("  info --all, %d boxes among %d ports:  %.1f ms (%d silent)\n", Boxes, Boxes + SilentPorts,
                        Median(find8), SilentPorts);
            std::printf("  info --all on one silent port:      %.1f ms (two attempts a step apart)\n", Median(findSilent));
            std::printf("RATIO bench-find %.3f (goal <= 1.5)\n", Median(find8) / Median(find1));
            std::printf("RATIO bench-find-over-one-silent-port %.3f\n", Median(find8) / Median(findSilent));
        }
        std::printf("  set-codes, one box:                 %.1f ms\n", Median(setCodes));
        std::printf("  run, a one-step plan (set-up, exit 0): %.1f ms\n", Median(planStep));
        std::printf("RATIO plan-step-over-set-codes %.3f (goal <= 1.15)\n", Median(planStep) / Median(setCodes));
        std::printf("  run, a step per protocol, one box:  %.1f ms\n", Median(plan1));
        std::printf("  run, the same plan, %d boxes:        %.1f ms\n", Boxes, Median(plan8));
        std::printf("RATIO plan-bench %.3f (goal <= 1.15)\n", Median(plan8) / Median(plan1));
        if (!plansOnly) {
            std::printf("  peak memory of the %d-box update:    %.1f MB\n", Boxes, static_cast<double>(peakKb) / 1024.0);
            std::printf("RATIO bench-memory %.3f of 16 MB (goal < 1)\n", static_cast<double>(peakKb) / 1024.0 / 16.0);
            std::printf("RATIO bench-cpu-per-box %.4f of one core = %.2f %% (goal < 5 %%)\n", Median(cpuShare),
                        Median(cpuShare) * 100);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "bench_many: %s\n", e.what());
        return 1;
    }
    return 0;
}
