// The line event watcher's hand-over to the owning thread, the same on every
// system; the waiting for line events is in ComThreadLinux.cpp and
// ComThreadWin32.cpp.
#include "ComThread.h"

#include <exception>

void TComThread::Start() { thread_ = std::thread([this] { Run(); }); }

void TComThread::AbandonWatcher() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        abandon_ = true;
    }
    changed_.notify_all();
    Wake();
    thread_.join();
}

void TComThread::Stop() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    Wake();
    // The watcher may have queued a set just before it saw the stop request;
    // handle it here, or the two would wait for each other.
    std::exception_ptr failure;
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return queued_.has_value() || finished_; });
        if (!queued_) break;
        const TComEvents events = *queued_;
        queued_.reset();
        handling_ = true;
        lock.unlock();
        try {
            dispatch_(events);
        } catch (const EComPort&) {
            // dropped, as in HandleQueuedEvents
        } catch (...) {
            if (!failure) failure = std::current_exception();
        }
        lock.lock();
        handling_ = false;
        changed_.notify_all();
    }
    lock.unlock();
    thread_.join();
    if (failure) std::rethrow_exception(failure);
}

std::optional<TComEvents> TComThread::TakeQueued() {
    std::lock_guard lock(mutex_);
    if (!queued_) return std::nullopt;
    const TComEvents events = *queued_;
    queued_.reset();
    handling_ = true;
    return events;
}

void TComThread::FinishHandled() {
    {
        std::lock_guard lock(mutex_);
        handling_ = false;
    }
    changed_.notify_all();
}

void TComThread::HandOver(TComEvents events) {
    {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        queued_ = events;
    }
    if (onQueued_) onQueued_();
    std::unique_lock lock(mutex_);
    // Wait until the owner has handled the set. Once a stop is requested, a
    // set still queued is handled by Stop; one being handled may be the very
    // handler that closes the port, so do not wait for that one.
    waitingForOwner_ = true;
    changed_.wait(lock, [this] {
        return abandon_ || (!queued_ && !handling_) || (stopping_ && !queued_);
    });
    waitingForOwner_ = false;
}
