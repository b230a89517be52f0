#pragma once
// Waiting on one descriptor until a monotonic deadline, the one wait that the
// port's reads and writes share.
#include <chrono>
#include <optional>

struct PollResult {
    short revents = 0;      // what poll reported, when it reported anything
    bool timedOut = false;  // the deadline passed with nothing reported
    int error = 0;          // errno of a failed poll
};

// Waits until fd reports one of events (or a hang-up or error), or until
// deadline; no deadline waits without limit. Interrupted waits resume with
// the time that is left.
PollResult PollUntil(int fd, short events, std::optional<std::chrono::steady_clock::time_point> deadline);
