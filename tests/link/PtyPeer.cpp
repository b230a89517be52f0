#include "PtyPeer.h"

#include "WaitUntil.h"

#include <poll.h>
#include <stdexcept>
#include <unistd.h>

PtyPeer::PtyPeer() : thread_([this] { Run(); }) {}

PtyPeer::~PtyPeer() {
    stop_ = true;
    thread_.join();
}

void PtyPeer::SetReply(const std::string& command, const std::string& reply) {
    std::lock_guard lock(mutex_);
    replies_[command] = reply;
}

void PtyPeer::SetResponder(Responder responder) {
    std::lock_guard lock(mutex_);
    responder_ = std::move(responder);
}

std::vector<std::string> PtyPeer::Units() const {
    std::lock_guard lock(mutex_);
    return units_;
}

std::size_t PtyPeer::UnitCount() const {
    std::lock_guard lock(mutex_);
    return units_.size();
}

bool PtyPeer::WaitForUnits(std::size_t count, std::chrono::milliseconds limit) const {
    return WaitUntil([&] { return UnitCount() >= count; }, static_cast<int>(limit.count()));
}

void PtyPeer::Run() {
    while (!stop_) {
        pollfd p{pty_.Master(), POLLIN, 0};
        const int ready = poll(&p, 1, 10);
        if (ready <= 0) continue;
        if (!(p.revents & POLLIN)) {
            // While the tool has the port closed the master reports a hang-up;
            // wait for the next open instead of spinning.
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        char buffer[512];
        const ssize_t got = read(pty_.Master(), buffer, sizeof buffer);
        if (got <= 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            continue;
        }
        for (ssize_t i = 0; i < got; ++i) Feed(buffer[i]);
    }
}

void PtyPeer::Feed(char c) {
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

void PtyPeer::Complete() {
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

void PtyPeer::Write(const std::string& bytes) {
    try {
        pty_.Write(bytes);
    } catch (const std::runtime_error&) {
        // The tool has closed the port; the answer is lost, as on a real line.
    }
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
