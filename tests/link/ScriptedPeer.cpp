#include "ScriptedPeer.h"

#include "WaitUntil.h"

namespace {

using End = MemoryLine::End;

// Every peer has a line of its own, so that test programs may run them side by side.
std::string NewLineName() {
    static std::atomic<int> count{0};
    return "link-peer-" + std::to_string(++count);
}

}  // namespace

ScriptedPeer::ScriptedPeer()
    : name_(NewLineName()), path_(MemoryLine::PortName(name_)), line_(std::make_shared<MemoryLine>()) {
    MemoryLine::Register(name_, line_);
    thread_ = std::thread([this] { Run(); });
}

ScriptedPeer::~ScriptedPeer() {
    stop_ = true;
    line_->Wake(End::Device);
    thread_.join();
    MemoryLine::Withdraw(name_, line_.get());
}

void ScriptedPeer::SetReply(const std::string& command, const std::string& reply) {
    std::lock_guard lock(mutex_);
    replies_[command] = reply;
}

void ScriptedPeer::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::string> ScriptedPeer::Units() const {
    std::lock_guard lock(mutex_);
    return units_;
}

std::size_t ScriptedPeer::UnitCount() const {
    std::lock_guard lock(mutex_);
    return units_.size();
}

bool ScriptedPeer::WaitForUnits(std::size_t count, std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return UnitCount() >= count; }, static_cast<int>(limit.count()));
}

void ScriptedPeer::Run() {
    while (!stop_) {
        (void)line_->WaitReadable(End::Device, MemoryLine::Clock::now() + std::chrono::milliseconds(50));
        for (const char c : line_->Take(End::Device, 512)) Feed(c);
    }
}

void ScriptedPeer::Feed(char c) {
    if (!boot_) {
        if (c == '\r') {
            Complete();
        } else {
            pending_.push_back(c);
        }
        return;
    }
    pending_.push_back(c);
    if (pending_.size() == 1 && (c == 'P' || c == 'p')) {
        Complete();
    } else if (pending_.size() >= 2 &&
               pending_.size() == static_cast<std::size_t>(static_cast<unsigned char>(pending_[1])) + 3) {
        Complete();
    }
}

void ScriptedPeer::Complete() {
    const std::string unit = std::move(pending_);
    pending_.clear();
    Responder responder;
    std::string reply;
    {
        std::lock_guard lock(mutex_);
        units_.push_back(unit);
        responder = responder_;
        if (!responder) {
            const auto it = replies_.find(unit);
            if (it != replies_.end()) reply = it->second;
        }
    }
    if (responder) reply = responder(*this, unit);
    Write(reply);
}

void ScriptedPeer::Write(const std::string& bytes) {
    // While the tool has the port closed the answer is lost, as on a real
    // line; kept, it would greet the next open.
    if (!bytes.empty() && line_->Attached()) (void)line_->Write(End::Device, bytes);
}

std::string AckFrame(std::uint8_t code, const std::string& payload) {
    std::string frame;
    frame.push_back(static_cast<char>(code));
    frame.push_back(static_cast<char>(payload.size()));
    frame += payload;
    unsigned sum = 0;
    for (char c : frame) sum += static_cast<unsigned char>(c);
    frame.push_back(static_cast<char>(0u - sum));
    return frame;
}

bool FrameSumsToZero(const std::string& frame) {
    unsigned sum = 0;
    for (char c : frame) sum += static_cast<unsigned char>(c);
    return (sum & 0xFF) == 0;
}
