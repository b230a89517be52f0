#pragma once
// A long wait taken in short steps, so that whoever waits can keep its window
// painted between them and give the wait up (a device server's name lookup
// and connect, which take seconds where a reply takes milliseconds).

#include "PortDevice.h"

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

class WaitSteps {
public:
    // True to wait on; false gives the wait up.
    using KeepWaiting = std::function<bool()>;
    static constexpr std::chrono::milliseconds Step{25};

    WaitSteps(PortClock::time_point deadline, KeepWaiting keepWaiting)
        : deadline_(deadline), keepWaiting_(std::move(keepWaiting)) {}

    PortClock::time_point End() const { return deadline_; }
    // Where the next step ends: the deadline itself when nobody needs the steps.
    PortClock::time_point StepEnd() const {
        return keepWaiting_ ? std::min(deadline_, PortClock::now() + Step) : deadline_;
    }
    // After a step that brought nothing: whether to wait on (false once the
    // deadline has passed or the owner gave up).
    bool Continue() {
        if (PortClock::now() >= deadline_) return false;
        if (keepWaiting_ && !keepWaiting_()) {
            gaveUp_ = true;
            return false;
        }
        return true;
    }
    bool GaveUp() const { return gaveUp_; }

private:
    PortClock::time_point deadline_;
    KeepWaiting keepWaiting_;
    bool gaveUp_ = false;
};

// Starts job on a detached thread; raises std::system_error when the system
// has no thread to give.
using StartThread = void (*)(std::function<void()> job);
inline void StartDetached(std::function<void()> job) { std::thread(std::move(job)).detach(); }

// Runs work on a thread of its own (started by start) and waits for its
// result in steps; none when the steps end first. A call that has no
// deadline of its own (the system's name lookup) is then left to finish
// alone, and its result is dropped. Without a thread to be had the work runs
// here, its wait unbounded.
template <class T, class Work>
std::optional<T> CallWithin(Work work, WaitSteps& steps, StartThread start = StartDetached) {
    struct Shared {
        explicit Shared(Work w) : work(std::move(w)) {}
        Work work;  // stays here, not in the thread, until a thread takes it up
        std::mutex mutex;
        std::condition_variable done;
        std::optional<T> result;
    };
    auto shared = std::make_shared<Shared>(std::move(work));
    try {
        start([shared] {
            T result = shared->work();
            std::lock_guard lock(shared->mutex);
            shared->result.emplace(std::move(result));
            shared->done.notify_all();
        });
    } catch (const std::system_error&) {
        return shared->work();
    }
    std::unique_lock lock(shared->mutex);
    for (;;) {
        if (shared->done.wait_until(lock, steps.StepEnd(), [&] { return shared->result.has_value(); }))
            return std::move(shared->result);
        lock.unlock();
        const bool go = steps.Continue();
        lock.lock();
        if (!go) return std::nullopt;
    }
}
