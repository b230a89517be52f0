#include "MemoryDevice.h"

#include "LocalDevice.h"
#include "TimeoutRules.h"
#include "base/MemoryLine.h"

namespace {

using End = MemoryLine::End;

class MemoryDevice final : public PortDevice {
public:
    explicit MemoryDevice(std::shared_ptr<MemoryLine> line) : line_(std::move(line)) {}
    ~MemoryDevice() override { line_->Detach(); }

    // A line in memory has no queues to size, no line settings and no driver
    // that keeps time-outs: it takes everything at once.
    void ApplyBuffer(std::int32_t, std::int32_t) override {}
    void ApplyLine(const LineSettings&) override {}
    void ApplyTimeouts(const TimeoutValues&) override {}

    void Purge(bool input, bool) override {
        if (input) line_->Purge(End::Host);
    }

    int Write(const std::string& text, Deadline) override {
        if (!line_->Write(End::Host, text)) throw EComPort(CError_WriteFailed, GoneDeviceError());
        return static_cast<int>(text.size());
    }

    std::string Read(int count, const ReadPlan& plan) override {
        auto take = [this](std::string& out, std::size_t max) -> std::size_t {
            const std::string got = line_->Take(End::Host, max);
            // What was sent before the cable was pulled is still read; then
            // the line has gone, as a hung-up terminal reports it.
            if (got.empty() && out.empty() && line_->IsCut()) throw EComPort(CError_ReadFailed, GoneDeviceError());
            out += got;
            return got.size();
        };
        auto waitUntil = [this](Deadline until) { return !line_->IsCut() && line_->WaitReadable(End::Host, until); };
        return ReadUnderPlan(count, plan, take, waitUntil);
    }

    bool WaitForInput(Deadline deadline) override { return line_->WaitReadable(End::Host, deadline); }

    TComErrors ClearError(int& inQueue) override {
        inQueue = static_cast<int>(line_->Waiting(End::Host));
        return line_->IsCut() ? static_cast<TComErrors>(1u << ceIO) : 0;
    }

    int ModemStatus() override { return 0; }  // no modem lines, as on a cable with none

private:
    std::shared_ptr<MemoryLine> line_;
};

}  // namespace

std::unique_ptr<PortDevice> OpenMemoryDevice(const std::string& lineName) {
    std::shared_ptr<MemoryLine> line = MemoryLine::Find(lineName);
    if (!line || line->IsCut()) throw EComPort(CError_OpenFailed, MissingDeviceError());
    if (!line->Attach()) throw EComPort(CError_OpenFailed, BusyDeviceError());
    return std::make_unique<MemoryDevice>(std::move(line));
}
