#pragma once
// What a job of the bench window reports, on the boxes' threads: each box's
// progress, its end and the bench's lines, handed to callbacks that carry
// them over to the window thread; and the stop that Cancel and closing the
// window request.

#include "link/BenchRun.h"
#include "link/BoxStop.h"

#include <QString>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Cancel and closing the window stop a job as a signal stops the command line.
class BenchJobStop : public BoxStop {
public:
    int Signal() const override { return signal_; }
    bool SleepUnlessStopped(int ms) override {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return signal_ != 0; });
    }
    void Request(int signal) {
        std::lock_guard lock(mutex_);
        if (signal_ == 0) signal_ = signal;
        wake_.notify_all();
    }
    void Reset() { signal_ = 0; }

private:
    std::atomic<int> signal_{0};
    std::mutex mutex_;
    std::condition_variable wake_;
};

// The callbacks run on the boxes' threads.
struct BenchJobReports {
    std::function<void(const std::string& port, const QString& busy)> Progress;
    std::function<void(const std::string& port, bool ok, const QString& failure)> Finished;
    std::function<void(const QString& line)> Line;
};

class BenchJobObserver : public BenchObserver {
public:
    explicit BenchJobObserver(BenchJobReports reports);
    ~BenchJobObserver() override;

    BoxEvents& AddBox(const std::string& port) override;
    void Line(const std::string& text) override;
    void Finished(std::size_t row, bool ok, const std::string& failure) override;

private:
    BenchJobReports reports_;
    std::vector<std::string> ports_;
    std::vector<std::unique_ptr<BoxEvents>> events_;
};
