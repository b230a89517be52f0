#include "BenchRun.h"

#include "BenchProgress.h"
#include "BenchReport.h"
#include "CliCommands.h"
#include "CliError.h"
#include "CliSession.h"
#include "Interrupt.h"
#include "PortsInOrder.h"
#include "TerminalRedraw.h"

#include "link/PortChoice.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace {

// One simulator of the bench. Its options and events outlive its session,
// which refers to both.
struct Box {
    CliOptions Options;
    BoxEvents* Events = nullptr;
    std::size_t Row = 0;
    std::unique_ptr<CliSession> Session;  // found ahead by the search, or made for the run
    BoxResult Result;
    bool Chosen = false;  // the command runs on it
    bool Ran = false;     // ... and has run
};
using Boxes = std::vector<std::unique_ptr<Box>>;

// Runs job(i) for every index, each on a thread of its own, and waits for all.
void OnThreads(std::size_t count, const std::function<void(std::size_t)>& job) {
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (std::size_t i = 0; i < count; ++i) threads.emplace_back(job, i);
    for (auto& thread : threads) thread.join();
}

// What the single run would have printed on standard error for the failure.
void NoteFailure(BoxResult& result, int status, const std::string& message, const std::string& hint = {}) {
    result.Status = status;
    result.Error = hint.empty() ? message : message + " (" + hint + ")";
    result.Out.clear();  // as a single run, nothing of a failed command's output
}

// Asks the box's port as the window's search does. A port that answers
// keeps its session, the port open and nothing sent beyond the search; the
// others are closed again. True when a simulator answered.
bool SearchBox(Box& box) {
    try {
        box.Session = std::make_unique<CliSession>(box.Options, *box.Events);
        box.Session->SearchAhead();
        box.Result.Serial = box.Session->State().SerialNumber();
        return true;
    } catch (const CliError& e) {
        NoteFailure(box.Result, e.ExitStatus(), e.what());
    } catch (const std::exception& e) {
        NoteFailure(box.Result, ExitDeviceFailed, e.what());
    }
    box.Session.reset();
    return false;
}

void RunBox(Box& box, BenchProgress& progress, const BoxJob& job) {
    BoxResult& result = box.Result;
    try {
        if (!box.Session) box.Session = std::make_unique<CliSession>(box.Options, *box.Events);
        result.Status = job(*box.Session, result.Out);
    } catch (const CliError& e) {
        NoteFailure(result, e.ExitStatus(), e.what(), e.Hint());
    } catch (const std::exception& e) {
        NoteFailure(result, ExitDeviceFailed, e.what());
    }
    if (box.Session) {
        const std::string serial = box.Session->State().SerialNumber();
        if (!serial.empty()) result.Serial = serial;
    }
    // Remote mode left and the port closed on the box's own thread, at the
    // same time as on the other boxes.
    box.Session.reset();
    box.Ran = true;
    progress.Finished(box.Row, result.Status == 0, result.Error);
}

bool Wanted(const CliOptions& options, const Box& box) {
    if (options.All) return true;
    return std::find(options.Serials.begin(), options.Serials.end(), box.Result.Serial) != options.Serials.end();
}

std::string Joined(const std::vector<Box*>& boxes) {
    std::string text;
    for (const Box* box : boxes) text += (text.empty() ? "" : ", ") + box->Options.Port;
    return text;
}

}  // namespace

int RunBench(const CliOptions& options, std::string& out) {
    // A bad file or code list refuses the command before any box is asked.
    CheckBeforeConnecting(options);
    const bool update = options.Command == "update-firmware";
    BenchProgress progress(stderr, update && CanRedrawInPlace(stderr), update);
    const std::vector<BoxResult> results = RunOnEveryBox(options, progress, RunOnBox);
    const std::string& c = options.Command;
    const bool outputs = c == "info" || c == "status" || c == "show" || c == "diff";
    out += options.Json ? BenchJson(results) : BenchTable(results, outputs);
    return BenchExitStatus(results);
}

std::vector<BoxResult> RunOnEveryBox(const CliOptions& options, BenchProgress& progress, const BoxJob& job) {
    const bool update = options.Command == "update-firmware";
    const bool searchFirst = options.Ports.empty();
    Boxes boxes;
    for (const auto& port : OncePerDevice(searchFirst ? ListPortsInOrder() : options.Ports)) {
        auto box = std::make_unique<Box>();
        box->Options = options.ForBox(port);
        box->Row = boxes.size();
        box->Events = &progress.AddBox(port);
        box->Result.Port = port;
        boxes.push_back(std::move(box));
    }

    // The reset prompt names every box that waits, so it waits for the
    // whole search; otherwise a box starts as soon as its own search found
    // it, and a silent port's time-outs hold up nobody.
    const bool promptOnce = update && options.Update == UpdateMode::ResetButton;
    progress.Start();
    if (searchFirst) {
        OnThreads(boxes.size(), [&](std::size_t i) {
            Box& box = *boxes[i];
            if (!SearchBox(box)) return;
            if (!Wanted(options, box)) {
                box.Session.reset();
                return;
            }
            box.Chosen = true;
            if (promptOnce) return;
            progress.Show(box.Row);
            RunBox(box, progress, job);
        });
    } else {
        for (auto& box : boxes) box->Chosen = true;
    }

    std::vector<Box*> chosen;
    for (auto& box : boxes)
        if (box->Chosen) chosen.push_back(box.get());
    std::vector<BoxResult> missing;
    for (const auto& serial : options.Serials) {
        const bool found =
            std::any_of(chosen.begin(), chosen.end(), [&serial](const Box* b) { return b->Result.Serial == serial; });
        if (!found) missing.push_back({"", serial, ExitDeviceFailed, "No KARNOL simulator with serial number " + serial + " found", ""});
    }
    if (chosen.empty() && missing.empty()) {
        if (const int sig = InterruptSignal()) throw CliError(128 + sig, "Interrupted");
        throw CliError(ExitDeviceFailed,
                       "No KARNOL simulator answered on any of the " + std::to_string(boxes.size()) + " ports");
    }
    // The report's order: the ports' natural order, whatever order they were given in.
    std::stable_sort(chosen.begin(), chosen.end(), [](const Box* a, const Box* b) {
        return PortBefore(a->Options.Port, b->Options.Port);
    });

    std::vector<Box*> waiting;
    for (Box* box : chosen)
        if (!box->Ran) waiting.push_back(box);
    if (promptOnce && !waiting.empty())
        progress.Line("Please press the simulators reset button on: " + Joined(waiting));
    for (const Box* box : waiting) progress.Show(box->Row);
    OnThreads(waiting.size(), [&](std::size_t i) { RunBox(*waiting[i], progress, job); });
    progress.Stop();

    std::vector<BoxResult> results;
    for (const Box* box : chosen) results.push_back(box->Result);
    results.insert(results.end(), missing.begin(), missing.end());
    return results;
}
