// A whole automatic firmware update against the emulated simulator held to
// the speed of a 115200-baud line: the time from the first frame to the
// closing frame, as a ratio to the wire time of every byte exchanged in
// between (requests and acknowledgements). The link is driven from a plain
// loop, the 100 ms between the view's timer steps standing outside the
// measured stretch as they do in the window.

#include "BenchSupport.h"

#include "FirmwareBlob.h"
#include "link/BootFrame.h"
#include "link/FirmwareImage.h"
#include "link/LinkHost.h"
#include "link/uComIo.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

// The link shows the transfer layout right before it sends the first frame.
class TimingView final : public IUpdateView {
public:
    void ShowLayout(const UpdateLayout&) override { lastLayout = BenchClock::now(); }
    void SetProgress(int, int) override {}
    BenchClock::time_point lastLayout{};
};

// Bytes of a request frame, from the code the emulator logged.
std::size_t RequestSize(unsigned code) {
    switch (code) {
    case BootFrame::Header:
    case BootFrame::FirstHalf:
    case BootFrame::SecondHalf: return 3 + BootFrame::MaxPayload;
    case BootFrame::PageDone: return 3 + 3;
    case BootFrame::BlankPage: return 3 + 2;
    case BootFrame::Close: return 3;
    default: return 0;
    }
}

constexpr std::size_t AcknowledgementSize = 3;  // code, length 0, checksum

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "bench_update: %s\n", why.c_str());
    std::exit(1);
}

}  // namespace

int main() {
    EmulatorOptions options;
    options.Pace = true;
    options.Version = std::array<std::uint8_t, 3>{1, 0, 0};  // not the carried one: the update is due
    EmulatedSimulator emulator(options);
    emulator.Start();
    StampedLog log(emulator);

    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    image.PrepareTransferArea();
    QuietHost host;
    SimulatorState state;
    TComIo link(host, state, image);
    // As the scheduler searches: a silent attempt is repeated 100 ms later.
    SchedulerState found = link.FindSimulator(emulator.PortPath());
    while (found == SchedulerState::Search) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        found = link.FindSimulator(emulator.PortPath());
    }
    if (found != SchedulerState::AutoUpdate) Fail("the simulator was not found for an update");

    TimingView view;
    link.UpdateBegin(SchedulerState::AutoUpdate, view, emulator.PortPath());
    std::optional<SchedulerState> end;
    while (!(end = link.UpdateStep())) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (*end != SchedulerState::Search) Fail("the update failed: " + link.UpdateFailureText());
    const auto closing = log.WaitFor("frame 02", 0, 5000);
    if (!closing) Fail("the closing frame never arrived");

    // Every frame the boot loader took, and its acknowledgement.
    std::size_t requests = 0, acknowledgements = 0, frames = 0;
    for (const auto& e : log.Entries()) {
        unsigned code = 0;
        if (std::sscanf(e.Text.c_str(), "frame %x", &code) != 1) continue;
        ++frames;
        requests += RequestSize(code);
        if (code != BootFrame::Close) acknowledgements += AcknowledgementSize;
    }
    // The same count from the image, as a check on the log.
    std::size_t expected = RequestSize(BootFrame::Header) + RequestSize(BootFrame::Close);
    for (int p = 0; p < TransferAreaSize; p += TransferPageSize)
        for (const auto& f : PageFrames(image.TransferArea(), p)) expected += f.size();
    if (expected != requests) Fail("the boot loader saw " + std::to_string(requests) + " request bytes, the image makes " +
                                   std::to_string(expected));

    const std::size_t bytes = requests + acknowledgements;
    const double wire = WireMs(bytes);
    const double measured = MsBetween(view.lastLayout, closing->At);
    std::printf("Firmware update against knsim-emu --pace (115200 baud, %.1f us a byte)\n", ByteTimeUs);
    std::printf("  frames:                      %zu\n", frames);
    std::printf("  bytes both ways:             %zu (%zu in requests, %zu in acknowledgements)\n", bytes, requests,
                acknowledgements);
    std::printf("  wire time of those bytes:    %.1f ms\n", wire);
    std::printf("  first frame to closing frame: %.1f ms\n", measured);
    std::printf("RATIO update %.3f (goal <= 1.05)\n", measured / wire);
    return 0;
}
