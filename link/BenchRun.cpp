#include "BenchRun.h"

#include "BoxError.h"
#include "PortChoice.h"

#include <algorithm>
#include <thread>

namespace {

// One simulator of the bench.
struct Box {
    std::string Port;
    BoxEvents* Events = nullptr;
    std::size_t Row = 0;
    std::unique_ptr<BoxSession> Session;  // found ahead by the search, or made for the run
    BoxResult Result;
    bool Chosen = false;  // the job runs on it
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

// What the single run would have reported for the failure.
void NoteFailure(BoxResult& result, int status, const std::string& message, const std::string& hint = {}) {
    result.Status = status;
    result.Error = hint.empty() ? message : message + " (" + hint + ")";
    result.Out.clear();  // as a single run, nothing of a failed command's output
}

// Asks the box's port as the window's search does. A port that answers
// keeps its session, the port open and nothing sent beyond the search; the
// others are closed again. True when a simulator answered.
bool SearchBox(Box& box, const SessionMaker& make) {
    try {
        box.Session = make(box.Port, *box.Events);
        box.Session->SearchAhead();
        box.Result.Serial = box.Session->State().SerialNumber();
        return true;
    } catch (const BoxError& e) {
        NoteFailure(box.Result, e.ExitStatus(), e.what());
    } catch (const std::exception& e) {
        NoteFailure(box.Result, ExitDeviceFailed, e.what());
    }
    box.Session.reset();
    return false;
}

void RunBox(Box& box, BenchObserver& observer, const SessionMaker& make, const BoxJob& job) {
    BoxResult& result = box.Result;
    try {
        if (!box.Session) box.Session = make(box.Port, *box.Events);
        result.Status = job(*box.Session, result.Out);
    } catch (const BoxError& e) {
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
    observer.Finished(box.Row, result.Status == 0, result.Error);
}

bool Wanted(const BenchRequest& request, const Box& box) {
    if (request.All) return true;
    return std::find(request.Serials.begin(), request.Serials.end(), box.Result.Serial) != request.Serials.end();
}

std::string Joined(const std::vector<Box*>& boxes) {
    std::string text;
    for (const Box* box : boxes) text += (text.empty() ? "" : ", ") + box->Port;
    return text;
}

std::vector<std::string> PortsToSearch() {
    try {
        return ListedPortsInOrder();
    } catch (const EFailure& e) {
        throw BoxError(ExitDeviceFailed, e.Message());
    }
}

}  // namespace

int BenchExitStatus(const std::vector<BoxResult>& boxes) {
    int worst = 0;
    for (const auto& box : boxes) worst = std::max(worst, box.Status);
    return worst;
}

std::vector<BoxResult> RunOnEveryBox(const BenchRequest& request, BenchObserver& observer, const SessionMaker& make,
                                     const BoxJob& job, BoxStop& stop) {
    const bool searchFirst = request.Ports.empty();
    Boxes boxes;
    for (const auto& port : OncePerDevice(searchFirst ? PortsToSearch() : request.Ports)) {
        auto box = std::make_unique<Box>();
        box->Port = port;
        box->Row = boxes.size();
        box->Events = &observer.AddBox(port);
        box->Result.Port = port;
        boxes.push_back(std::move(box));
    }

    // The reset prompt names every box that waits, so it waits for the
    // whole search; otherwise a box starts as soon as its own search found
    // it, and a silent port's time-outs hold up nobody.
    observer.Start();
    if (searchFirst) {
        OnThreads(boxes.size(), [&](std::size_t i) {
            Box& box = *boxes[i];
            if (!SearchBox(box, make)) return;
            if (!Wanted(request, box)) {
                box.Session.reset();
                return;
            }
            box.Chosen = true;
            if (request.PromptOnce) return;
            observer.Show(box.Row);
            RunBox(box, observer, make, job);
        });
    } else {
        for (auto& box : boxes) box->Chosen = true;
    }

    std::vector<Box*> chosen;
    for (auto& box : boxes)
        if (box->Chosen) chosen.push_back(box.get());
    std::vector<BoxResult> missing;
    for (const auto& serial : request.Serials) {
        const bool found =
            std::any_of(chosen.begin(), chosen.end(), [&serial](const Box* b) { return b->Result.Serial == serial; });
        if (!found) missing.push_back({"", serial, ExitDeviceFailed, "No KARNOL simulator with serial number " + serial + " found", ""});
    }
    if (chosen.empty() && missing.empty()) {
        if (const int sig = stop.Signal()) throw BoxError(128 + sig, "Interrupted");
        throw BoxError(ExitDeviceFailed,
                       "No KARNOL simulator answered on any of the " + std::to_string(boxes.size()) + " ports");
    }
    // The results' order: the ports' natural order, whatever order they were given in.
    std::stable_sort(chosen.begin(), chosen.end(), [](const Box* a, const Box* b) { return PortBefore(a->Port, b->Port); });

    std::vector<Box*> waiting;
    for (Box* box : chosen)
        if (!box->Ran) waiting.push_back(box);
    if (request.PromptOnce && !waiting.empty())
        observer.Line("Please press the simulators reset button on: " + Joined(waiting));
    for (const Box* box : waiting) observer.Show(box->Row);
    OnThreads(waiting.size(), [&](std::size_t i) { RunBox(*waiting[i], observer, make, job); });
    observer.Stop();

    std::vector<BoxResult> results;
    for (const Box* box : chosen) results.push_back(box->Result);
    results.insert(results.end(), missing.begin(), missing.end());
    return results;
}
