
#include "FirmwareUpdate.h"

#include "BootFrame.h"
#include "CommandCodec.h"
#include "uComIo.h"

#include "base/Convert.h"
#include "base/Failure.h"

#include <chrono>
#include <cstdio>
#include <vector>

namespace {

// ReadFrame's waits: the first byte of an acknowledgement may take up to
// 3000 ms (the boot loader writes flash first), the rest 150 ms each.
constexpr int FirstFrameByteWait = 1000;
constexpr int FrameByteWait = 50;
constexpr int PollWait = 50;

// Index 129 is the checksum of the longest valid frame (length 128).
constexpr int LongestFrameIndex = BootFrame::MaxPayload + 1;

// Stands in while no view is attached, so that a step never dereferences nothing.
class NoView final : public IUpdateView {
public:
    void ShowLayout(const UpdateLayout&) override {}
    void SetProgress(int, int) override {}
};
NoView noView;

std::string FrameFailure(const char* what, int page) {
    char text[96];
    if (page < 0) {
        std::snprintf(text, sizeof text, "The boot loader did not acknowledge the %s", what);
    } else {
        std::snprintf(text, sizeof text, "The boot loader did not acknowledge the %s of page 0x%04X", what, page);
    }
    return text;
}

const char* FrameName(std::uint8_t code) {
    switch (code) {
    case BootFrame::FirstHalf: return "first half";
    case BootFrame::SecondHalf: return "second half";
    case BootFrame::PageDone: return "page end";
    case BootFrame::BlankPage: return "blank page";
    default: return "frame";
    }
}

}  // namespace

FirmwareUpdate::FirmwareUpdate(TComIo& link, const FirmwareImage& image) : link_(link), image_(image) {}

bool FirmwareUpdate::CanCancel() const {
    return kind_ == SchedulerState::ForcedUpdate && phase_ == Phase::WaitForBootLoader;
}

void FirmwareUpdate::SendBytes(std::span<const std::uint8_t> bytes) {
    link_.SendText(std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

void FirmwareUpdate::SendFrame(int length, std::uint8_t code, std::span<const std::uint8_t> payload) {
    if (length < 0 || length > BootFrame::MaxPayload || static_cast<std::size_t>(length) > payload.size()) {
        throw EFailure("Boot-loader frame 0x" + IntToHex(code, 2) + " with an impossible length " +
                       std::to_string(length));
    }
    SendBytes(BuildBootFrame(code, payload.first(static_cast<std::size_t>(length))));
}

int FirmwareUpdate::ReadFrame() {
    const int first = link_.ReadByte(FirstFrameByteWait);
    if (first < 0) return -1;
    unsigned sum = static_cast<unsigned>(first);
    for (int index = 0;; ++index) {
        const int b = link_.ReadByte(FrameByteWait);
        if (b < 0) return -1;
        FrameBuffer[index] = static_cast<std::uint8_t>(b);
        sum += static_cast<unsigned>(b);
        if (index >= 1 && index == FrameBuffer[0] + 1) return (sum & 0xFF) == 0 ? first : -1;
        if (index == LongestFrameIndex) return -1;  // a length beyond 128: never complete
    }
}

void FirmwareUpdate::AwaitAcknowledgement(const char* what, int page) {
    if (ReadFrame() < 0) throw EFailure(FrameFailure(what, page));
}

void FirmwareUpdate::AwaitFrameUnderWay(std::size_t frameSize, std::chrono::steady_clock::time_point writeBegan) {
    const int baud = BaudRateValue(link_.Port().BaudRate());
    if (baud <= 0) return;
    constexpr std::size_t BitsPerByte = 10;  // 8N1: start, eight data bits, stop
    const auto half = std::chrono::microseconds(frameSize * BitsPerByte * 1000000 / static_cast<std::size_t>(baud) / 2);
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(writeBegan + half -
                                                                           std::chrono::steady_clock::now());
    if (left.count() > 0) (void)link_.Port().WaitForInput(static_cast<int>(left.count()));
}

void FirmwareUpdate::ShowLayout(bool resetPrompt) {
    UpdateLayout layout;
    layout.ResetPrompt = resetPrompt;
    // The forced update never asked the running firmware, so it has no
    // installed version worth showing.
    if (!resetPrompt && kind_ != SchedulerState::ForcedUpdate) {
        layout.ShowInstalled = true;
        layout.Installed = HeaderVersionText(link_.State().InstalledHeader);
    }
    layout.Carried = image_.VersionLabel();
    view_->ShowLayout(layout);
}

void FirmwareUpdate::Begin(SchedulerState state, IUpdateView& view, const std::string& port) {
    view_ = &view;
    port_ = port;
    kind_ = state;
    failure_.clear();
    // A front end that forgot to prepare the area must not send a blank flash.
    image_.EnsureTransferArea();
    if (state == SchedulerState::AutoUpdate) {
        phase_ = Phase::StartBootLoader;
        ShowLayout(false);
    } else if (state == SchedulerState::ForcedUpdate) {
        phase_ = Phase::WaitForBootLoader;
        ShowLayout(true);
    } else {
        // Not an update request: the first step closes the window, nothing sent.
        phase_ = Phase::Cancelled;
    }
    view_->SetProgress(0, TransferAreaSize);
    pollsLeft_ = BootLoaderPolls;
}

void FirmwareUpdate::Abort() {
    link_.ProcessMessages();
    phase_ = Phase::Cancelled;
}

std::optional<SchedulerState> FirmwareUpdate::Step() {
    if (view_ == nullptr) view_ = &noView;
    // Cancelled: nothing more goes over the line, not even an open.
    if (phase_ == Phase::Cancelled) return SchedulerState::Stopped;
    try {
        if (!link_.PortOpen()) link_.OpenPort(port_);
        if (phase_ == Phase::StartBootLoader) {
            link_.SendText(Command::StartBootLoader);
            if (link_.ReadLine() == 0)
                throw EFailure("The simulator did not answer the request to start its boot loader");
            phase_ = Phase::WaitForBootLoader;
            return std::nullopt;
        }
        if (pollsLeft_ <= 0) throw EFailure("The boot loader did not answer");
        --pollsLeft_;
        link_.ProcessMessages();  // CANCEL gets through here
        link_.SendText(std::string(1, BootByte::Poll));
        if (link_.ReadByte(PollWait) != static_cast<unsigned char>(BootByte::Ready)) return std::nullopt;
        // The boot loader answered: from here on the transfer runs to its end,
        // even if CANCEL was clicked while this poll processed messages.
        link_.SendText(std::string(1, BootByte::Start));
        ShowLayout(false);
        Transfer();
        return SchedulerState::Search;
    } catch (const std::exception& failure) {
        failure_ = failure.what();
        if (failure_.empty()) failure_ = "The firmware update failed";
        return SchedulerState::UpdateFailed;
    }
}

void FirmwareUpdate::Transfer() {
    if (!image_.Loaded()) throw EFailure("No firmware image to send");
    const auto& area = image_.TransferArea();
    // Every page's frames are built before the header goes out, so that none
    // is built between an acknowledgement and the next frame.
    std::vector<std::vector<std::vector<std::uint8_t>>> pages;
    pages.reserve(TransferAreaSize / TransferPageSize);
    for (int p = 0; p < TransferAreaSize; p += TransferPageSize) pages.push_back(PageFrames(area, p));

    SendFrame(FirmwareHeaderSize, BootFrame::Header,
              std::span<const std::uint8_t>(area.data() + TransferHeaderOffset, FirmwareHeaderSize));
    AwaitAcknowledgement("header", -1);

    view_->SetProgress(0, TransferAreaSize);
    for (int p = 0; p < TransferAreaSize; p += TransferPageSize) {
        const auto& frames = pages[static_cast<std::size_t>(p / TransferPageSize)];
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto writeBegan = std::chrono::steady_clock::now();
            SendBytes(frames[i]);
            if (i == 0) {
                // The page's progress and the window's messages run while its
                // first frame crosses the line. Before the write they would
                // add their time to every page; right after it they hold the
                // processor that hands the frame on to the device (on a
                // pseudo-terminal, and on a small machine the device's side
                // too). Half the frame's wire time after the write began, the
                // frame is under way and its acknowledgement still at least
                // as far off; a byte that comes earlier ends the wait. On a
                // line whose write returns only once the bytes are sent, that
                // time has passed already.
                AwaitFrameUnderWay(frames[i].size(), writeBegan);
                view_->SetProgress(p + TransferPageSize, TransferAreaSize);
                link_.ProcessMessages();
            }
            AwaitAcknowledgement(FrameName(frames[i][0]), p);
        }
    }
    SendFrame(0, BootFrame::Close, {});
    // No reply is awaited: the simulator restarts with its new firmware.
}
