#pragma once
// The firmware update: asks the running firmware for its boot loader (the
// automatic update) or waits for the user's reset (the forced one), polls the
// boot loader and sends the carried image page by page, over the link's port
// and primitives. A view's timer runs one step every StepInterval; the view
// shows what the update reports and may cancel while CanCancel says so.

#include "FirmwareImage.h"
#include "LinkHost.h"
#include "SchedulerState.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

class TComIo;

class FirmwareUpdate {
public:
    // ms between two steps: the update window's timer, the command line's
    // loop and the benchmark all keep it (the boot loader's pace).
    static constexpr int StepInterval = 100;
    static constexpr std::int32_t BootLoaderPolls = 20;
    // Identification attempts of the search after a successful update: the
    // simulator restarts meanwhile.
    static constexpr int SearchAttemptsAfterUpdate = 30;
    static constexpr int FrameBufferSize = 132;

    FirmwareUpdate(TComIo& link, const FirmwareImage& image);

    // Prepares for AutoUpdate or ForcedUpdate on the named port (the
    // window's show handler); another state makes the first step end it
    // without a byte sent.
    void Begin(SchedulerState state, IUpdateView& view, const std::string& port);
    // One timer step: nullopt to be called again a step later, or the state
    // to hand to the scheduler (Search, Stopped or UpdateFailed).
    [[nodiscard]] std::optional<SchedulerState> Step();
    // CANCEL: the next step ends the update without sending anything more.
    void Abort();
    // Whether CANCEL is on offer: the forced update waits for the reset
    // button. Once the boot loader answers, the transfer runs to its end.
    [[nodiscard]] bool CanCancel() const;
    // Whether anything has been asked of the simulator yet (the automatic
    // update's "!@"): before that, stopping leaves it as it was.
    [[nodiscard]] bool Underway() const { return phase_ != Phase::StartBootLoader; }
    // Why the last update ended in UpdateFailed, for front ends that say
    // more than the window's message box does; empty otherwise.
    const std::string& FailureText() const { return failure_; }

    // Frame primitives of the boot loader's protocol.
    // Sends code, length, the first length bytes of payload and the checksum;
    // raises EFailure for a length beyond 128 or beyond the payload given.
    void SendFrame(int length, std::uint8_t code, std::span<const std::uint8_t> payload);
    int ReadFrame();  // reply code, or -1 on time-out, overlength or bad checksum

private:
    enum class Phase { StartBootLoader, WaitForBootLoader, Cancelled };

    void SendBytes(std::span<const std::uint8_t> bytes);
    void AwaitAcknowledgement(const char* what, int page);
    void AwaitFrameUnderWay(std::size_t frameSize, std::chrono::steady_clock::time_point writeBegan);
    void ShowLayout(bool resetPrompt);
    void Transfer();

    TComIo& link_;
    const FirmwareImage& image_;
    IUpdateView* view_ = nullptr;
    SchedulerState kind_ = SchedulerState::AutoUpdate;
    Phase phase_ = Phase::StartBootLoader;
    std::int32_t pollsLeft_ = 0;
    std::string port_;
    std::string failure_;
    std::array<std::uint8_t, FrameBufferSize> FrameBuffer{};
};
