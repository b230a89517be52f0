#include "MemoryLine.h"

#include <algorithm>
#include <map>

namespace {

constexpr std::string_view kScheme = "memory:";

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<MemoryLine>> lines;
};

Registry& Lines() {
    static Registry registry;
    return registry;
}

}  // namespace

bool MemoryLine::Write(End from, std::string_view bytes) {
    {
        std::lock_guard lock(mutex_);
        if (cut_) return false;
        At(from == End::Host ? End::Device : End::Host).input.append(bytes);
    }
    changed_.notify_all();
    return true;
}

std::string MemoryLine::Take(End at, std::size_t max) {
    std::lock_guard lock(mutex_);
    std::string& input = At(at).input;
    const std::size_t n = std::min(max, input.size());
    std::string taken = input.substr(0, n);
    input.erase(0, n);
    return taken;
}

std::size_t MemoryLine::Waiting(End at) const {
    std::lock_guard lock(mutex_);
    return At(at).input.size();
}

void MemoryLine::Purge(End at) {
    std::lock_guard lock(mutex_);
    At(at).input.clear();
}

bool MemoryLine::WaitReadable(End at, std::optional<Clock::time_point> deadline) {
    std::unique_lock lock(mutex_);
    Side& side = At(at);
    auto ready = [&] { return !side.input.empty() || side.wake || cut_; };
    bool result = true;
    if (deadline)
        result = changed_.wait_until(lock, *deadline, ready);
    else
        changed_.wait(lock, ready);
    side.wake = false;
    return result;
}

void MemoryLine::Wake(End at) {
    {
        std::lock_guard lock(mutex_);
        At(at).wake = true;
    }
    changed_.notify_all();
}

void MemoryLine::Cut() {
    {
        std::lock_guard lock(mutex_);
        cut_ = true;
    }
    changed_.notify_all();
}

bool MemoryLine::IsCut() const {
    std::lock_guard lock(mutex_);
    return cut_;
}

bool MemoryLine::Attach() {
    std::lock_guard lock(mutex_);
    if (attached_) return false;
    attached_ = true;
    return true;
}

void MemoryLine::Detach() {
    std::lock_guard lock(mutex_);
    attached_ = false;
}

bool MemoryLine::Attached() const {
    std::lock_guard lock(mutex_);
    return attached_;
}

void MemoryLine::Register(const std::string& name, std::shared_ptr<MemoryLine> line) {
    Registry& r = Lines();
    std::lock_guard lock(r.mutex);
    r.lines[name] = std::move(line);
}

void MemoryLine::Withdraw(const std::string& name, const MemoryLine* line) {
    Registry& r = Lines();
    std::lock_guard lock(r.mutex);
    const auto it = r.lines.find(name);
    if (it != r.lines.end() && it->second.get() == line) r.lines.erase(it);
}

std::shared_ptr<MemoryLine> MemoryLine::Find(const std::string& name) {
    Registry& r = Lines();
    std::lock_guard lock(r.mutex);
    const auto it = r.lines.find(name);
    return it == r.lines.end() ? nullptr : it->second;
}

std::string MemoryLine::PortName(const std::string& name) { return std::string(kScheme) + name; }

std::optional<std::string> MemoryLine::NameOfPort(const std::string& portName) {
    if (portName.size() <= kScheme.size() || portName.compare(0, kScheme.size(), kScheme) != 0) return std::nullopt;
    return portName.substr(kScheme.size());
}
