#pragma once
#include "BoxEvents.h"
#include "BoxSession.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

// How one simulator of a bench fared: its exit status, what it would have
// printed alone, and the failure's text where it failed.
struct BoxResult {
    std::string Port;    // empty for a serial number that no port answered with
    std::string Serial;  // as found, or as asked for; empty when unknown
    int Status = 0;      // the single run's exit status
    std::string Error;   // the single run's message (with its hint); empty when none
    std::string Out;     // the single run's output
};

// 0 when every box succeeded, else the worst single exit status: an
// interrupt (128 + signal) over a file failure (3) over a usage error (2)
// over a failure of the simulator or a difference (1).
int BenchExitStatus(const std::vector<BoxResult>& boxes);

// Which boxes a bench runs on.
struct BenchRequest {
    // The ports named, in any order; empty: every listed port, each asked
    // first whether a simulator answers.
    std::vector<std::string> Ports;
    // With the ports searched: every box that answered, or only those whose
    // serial numbers are given.
    bool All = false;
    std::vector<std::string> Serials;
    // The boxes wait for the whole search, so that one prompt can name them
    // all (the forced update's reset button).
    bool PromptOnce = false;
};

// What a bench shows while it works (the command line's rows on standard
// error, the bench window's rows). Calls come from the boxes' threads.
class BenchObserver {
public:
    virtual ~BenchObserver() = default;
    // A row for the box on port; the events of its sessions, valid as long
    // as the observer. Called before Start, in the ports' order.
    virtual BoxEvents& AddBox(const std::string& port) = 0;
    virtual void Start() {}
    // The row's box is chosen: the job runs on it (rows never shown belong
    // to ports that were only searched).
    virtual void Show(std::size_t row) { (void)row; }
    // A line for the whole bench (the reset prompt, once).
    virtual void Line(const std::string& text) = 0;
    // The box's job has ended.
    virtual void Finished(std::size_t row, bool ok, const std::string& failure) = 0;
    virtual void Stop() {}
};

// Makes the session of the box on port (each box's own, used on its thread).
using SessionMaker = std::function<std::unique_ptr<BoxSession>(const std::string& port, BoxEvents& events)>;
// What one box does on its session. Returns the box's exit status and
// appends what it would print alone to out; raises BoxError as a single
// run would.
using BoxJob = std::function<int(BoxSession& session, std::string& out)>;

// Runs job on every box of the request, each on a thread of its own with its
// own session and link, so that every line sees the bytes and time-outs of a
// single run and one box's failure neither stops nor slows the others. Each
// device is asked once, however many names it has. A searched port without
// the wanted simulator is closed and left alone after the search. A box's
// session ends (remote mode left, port closed) on its own thread as soon as
// its job has. Returns the results in natural port order, then a failed one
// for each serial number that no port answered with; raises BoxError when no
// box was found at all (or the search was stopped before one was).
std::vector<BoxResult> RunOnEveryBox(const BenchRequest& request, BenchObserver& observer, const SessionMaker& make,
                                     const BoxJob& job, BoxStop& stop);
