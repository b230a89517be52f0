#include "ObdPort.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr char kCarriageReturn = '\r';
// The adapter's input buffer; what comes beyond it is dropped, and the line
// then reads as a command the adapter does not know.
constexpr std::size_t kMaxLine = 256;
constexpr std::size_t kReadChunk = 1024;
constexpr int kBitsPerByte = 10;  // 8N1

}  // namespace

bool TakeAdapterByte(std::string& partial, char c) {
    if (c == kCarriageReturn) return true;
    if (static_cast<unsigned char>(c) >= ' ' && partial.size() < kMaxLine) partial += c;
    return false;
}

ObdPort::ObdPort(int baud, int ecuDelayMs, std::string linkPath)
    : pty_(std::make_unique<EmulatorPty>()),
      linkPath_(std::move(linkPath)),
      byteTime_(std::chrono::duration_cast<EmuClock::duration>(std::chrono::nanoseconds(
          1000000000LL * kBitsPerByte / std::max(baud, 1)))),
      ecuDelay_(std::chrono::milliseconds(ecuDelayMs)) {
    if (!linkPath_.empty()) PointLink(linkPath_, pty_->SlavePath());
}

ObdPort::~ObdPort() {
    if (!linkPath_.empty()) RemoveLink(linkPath_, pty_->SlavePath());
}

void ObdPort::HandleWatch() {
    if (pty_->DrainWatch()) pty_->ClearExclusive();
}

void ObdPort::Serve(const Answer& answer) {
    HandleWatch();
    ReadInput();
    Flush(EmuClock::now());
    while (!Sending() && HasLine()) {
        const Line line = TakeLine();
        const AdapterReply reply = answer(line.Text);
        Send(reply.Now, line.Arrival);
        Send(reply.Later, line.Arrival + (reply.FromEcus ? ecuDelay_ : EmuClock::duration::zero()));
        Flush(EmuClock::now());
    }
}

std::optional<EmuClock::time_point> ObdPort::NextDue() const {
    if (out_.empty()) return std::nullopt;
    return out_.front().Due;
}

void ObdPort::ReadInput() {
    char buffer[kReadChunk];
    const ssize_t n = ::read(pty_->Master(), buffer, sizeof buffer);
    if (n <= 0) return;
    const auto readAt = EmuClock::now();
    for (ssize_t i = 0; i < n; ++i) {
        // The tool's write was in the pseudo-terminal at once; a real line
        // would still be carrying it.
        rxClock_ = std::max(rxClock_, readAt) + byteTime_;
        if (TakeAdapterByte(partial_, buffer[i])) {
            lines_.push_back({partial_, rxClock_});
            partial_.clear();
        }
    }
}

ObdPort::Line ObdPort::TakeLine() {
    Line line = std::move(lines_.front());
    lines_.pop_front();
    return line;
}

void ObdPort::Send(std::string_view bytes, EmuClock::time_point notBefore) {
    for (char c : bytes) {
        txClock_ = std::max(txClock_, notBefore) + byteTime_;
        out_.push_back({txClock_, c});
    }
}

void ObdPort::Flush(EmuClock::time_point now) {
    std::string due;
    while (!out_.empty() && out_.front().Due <= now) {
        due += out_.front().Value;
        out_.pop_front();
    }
    const char* data = due.data();
    std::size_t left = due.size();
    while (left > 0) {
        const ssize_t n = ::write(pty_->Master(), data, left);
        if (n > 0) {
            data += n;
            left -= static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            return;  // nobody reads: lost, as on a real line
        }
    }
}
