#pragma once
// The line event watcher: while the port is open, a thread waits for line
// events on the local device and hands each set of them to the thread that
// owns the port, where TCustomComPort::HandleQueuedEvents raises the
// notifications. It knows the port only through the dispatch callback.
#include "PortDevice.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

class TComThread : public LineActivity {
public:
    // Raises the notifications of one event set, on the owning thread.
    using Dispatch = std::function<void(TComEvents events)>;

    // Watches the line for the events in the set. onQueued is called from the
    // watcher thread each time a set has been queued. Raises std::system_error
    // when the wake-up descriptor cannot be made.
    TComThread(WatchedLine line, TComEvents events, std::function<void()> onQueued, int inputSize,
               Dispatch dispatch);
    ~TComThread() override;
    TComThread(const TComThread&) = delete;
    TComThread& operator=(const TComThread&) = delete;

    void Start();
    // Owning thread: stops the watcher and waits for its end, handling any
    // set that it has queued meanwhile, so that the two never wait for each other.
    void Stop();

    // Owning thread: the next queued set, now being handled, if there is one.
    std::optional<TComEvents> TakeQueued();
    // Owning thread: the set taken last is handled; the watcher goes on.
    void FinishHandled();

    // A write has been sent completely (the transmit queue is empty).
    void Transmitted() override;
    // The owner took bytes out of the input queue (a read or a purge) and left
    // remaining there; later arrivals are counted from that level.
    void Consumed(int remaining) override;

private:
    void Run();
    void HandOver(TComEvents events);
    // Ends the watcher's wait (a stop request, a transmit notice).
    void Wake();
    // Destruction without Stop: the watcher ends, and nobody handles its sets.
    void AbandonWatcher();

    const Dispatch dispatch_;
    const TComHandle fd_;
    const TComEvents events_;
    const bool pseudoTerminal_;
    const std::function<void()> onQueued_;
    const int rx80Threshold_;
#ifdef _WIN32
    void* stopEvent_ = nullptr;  // manual reset: the watcher's wait ends and it stops
#else
    int wakeFd_ = -1;  // eventfd: stop requests and transmit notices
#endif

    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<TComEvents> queued_;  // handed over, not yet taken
    bool handling_ = false;             // taken, not yet finished
    bool stopping_ = false;
    bool abandon_ = false;  // destruction without Stop: nobody handles anything any more
    bool finished_ = false;
    std::atomic<bool> transmitted_{false};
    std::atomic<bool> waitingForOwner_{false};  // a set is handed over, the watcher waits for it to be handled
    std::atomic<int> consumedTo_{-1};  // lowest level left by the owner since the last look, -1 none
    std::thread thread_;
};
