// The automatic firmware update against the emulated simulator held to the
// speed of a 115200-baud line, three ways in one run on the same line:
//  - a plain blocking client: it writes each frame and waits for its
//    acknowledgement, nothing else;
//  - the link driven from a plain loop (no window);
//  - the window itself (knsimtool, offscreen), which finds the older
//    firmware and updates it on its own.
// The clients take turns for a few rounds (--rounds N, default 3);
// --other-window PATH adds another build of the window to compare with.
// Every update runs against a fresh knsim-emu --pace in a process of its
// own, as an independent stand-in for the device would be, and all times
// are taken from its log (--log-times), the device's side of the line; the
// benchmark itself only looks at that file now and then. The transfer is
// the stretch from the header frame to the closing frame; its ratio to the
// wire time of the bytes exchanged in it says what each client adds to the
// line itself. The whole update ("!@" to the closing frame) also holds the
// window's 100 ms timer steps between the boot-loader start, the polls and
// the transfer.

#include "BenchSupport.h"

#include "FirmwareBlob.h"
#include "TestFiles.h"
#include "link/BootFrame.h"
#include "link/Connection.h"
#include "link/FirmwareImage.h"
#include "link/FirmwareUpdate.h"
#include "link/LinkHost.h"
#include "link/uComIo.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace fs = std::filesystem;

namespace {

// A failed run: thrown, so that every emulator and window started so far is
// stopped on the way out.
struct BenchFailure : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& why) { throw BenchFailure(why); }

constexpr const char* OldVersion = "1.0.0";  // not the carried one: an update is due

class NoView final : public IUpdateView {
public:
    void ShowLayout(const UpdateLayout&) override {}
    void SetProgress(int, int) override {}
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

// One emulated simulator with an older firmware, for one update.
class EmulatorRun {
public:
    struct Entry {
        double Ms = 0;  // since the emulator started
        std::string Text;
    };

    EmulatorRun(const fs::path& folder, int number)
        : log_(folder / ("emu-" + std::to_string(number) + ".log")),
          output_(folder / ("emu-" + std::to_string(number) + ".out")) {
        process_ = std::make_unique<BenchChild>(
            ProgramPath("knsim-emu"),
            std::vector<std::string>{"--pace", "--version", OldVersion, "--log", log_.string(), "--log-times"},
            std::map<std::string, std::string>{}, output_.string());
        // The port's path is the first line of the emulator's output.
        for (int waited = 0; port_.empty() && waited < 10000; waited += 10) {
            std::ifstream in(output_);
            std::string line;
            if (std::getline(in, line) && !in.eof())
                port_ = line;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (port_.empty()) Fail("knsim-emu did not name its port");
    }

    const std::string& Port() const { return port_; }

    std::vector<Entry> Entries() const {
        std::vector<Entry> entries;
        std::ifstream in(log_);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            Entry e;
            if (!(fields >> e.Ms)) continue;
            std::getline(fields >> std::ws, e.Text);
            entries.push_back(std::move(e));
        }
        return entries;
    }

    // Looks every 20 ms whether an entry equal to text has been logged.
    bool WaitFor(const std::string& text, int timeoutMs) const {
        for (int waited = 0;; waited += 20) {
            for (const Entry& e : Entries())
                if (e.Text == text) return true;
            if (waited >= timeoutMs) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

private:
    fs::path log_, output_;
    std::unique_ptr<BenchChild> process_;
    std::string port_;
};

// One update as the simulator saw it.
struct Run {
    double Whole = 0;       // "!@" to the closing frame, ms
    double BeforeFirst = 0; // "!@" to the header frame, ms
    double Transfer = 0;    // header frame to closing frame, ms
    std::size_t Bytes = 0;  // both ways within the transfer
    std::size_t Frames = 0;
    // The time between two frames beyond the wire time of the acknowledgement
    // and the next frame: what the client (and the simulator) add to each
    // exchange. The median, so that a moment of load on the machine does not
    // count.
    double OwnUs = 0;
};

Run Measure(const std::vector<EmulatorRun::Entry>& entries) {
    std::optional<double> start, header, close, previous;
    std::vector<double> own;
    Run run;
    for (const auto& e : entries) {
        if (e.Text == "!@" && !start) start = e.Ms;
        unsigned code = 0;
        if (std::sscanf(e.Text.c_str(), "frame %x", &code) != 1) continue;
        if (e.Text.find("refused") != std::string::npos) Fail("the boot loader refused " + e.Text);
        ++run.Frames;
        if (previous)
            own.push_back((e.Ms - *previous) * 1000 - (AcknowledgementSize + RequestSize(code)) * ByteTimeUs);
        previous = e.Ms;
        if (code == BootFrame::Header) {
            header = e.Ms;
            run.Bytes += AcknowledgementSize;  // its own bytes are before the stretch
        } else {
            run.Bytes += RequestSize(code) + (code == BootFrame::Close ? 0 : AcknowledgementSize);
        }
        if (code == BootFrame::Close) close = e.Ms;
    }
    if (!start || !header || !close) Fail("an update did not run from \"!@\" to the closing frame");
    run.Whole = *close - *start;
    run.BeforeFirst = *header - *start;
    run.Transfer = *close - *header;
    std::sort(own.begin(), own.end());
    run.OwnUs = own.empty() ? 0 : own[own.size() / 2];
    return run;
}

// ---- the plain blocking client --------------------------------------------

int ReadByte(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, timeoutMs) <= 0) return -1;
    unsigned char b = 0;
    return read(fd, &b, 1) == 1 ? b : -1;
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    if (write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) Fail("write failed");
}

void AwaitAcknowledgement(int fd) {
    if (ReadByte(fd, 3000) < 0) Fail("plain client: no acknowledgement");
    const int length = ReadByte(fd, 150);
    if (length < 0) Fail("plain client: acknowledgement cut short");
    for (int i = 0; i <= length; ++i)
        if (ReadByte(fd, 150) < 0) Fail("plain client: acknowledgement cut short");
}

void PlainClientUpdate(const std::string& port, const FirmwareImage& image) {
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open " + port);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);

    WriteAll(fd, {'!', '@', '\r'});
    for (int b; (b = ReadByte(fd, 500)) != '\n';)
        if (b < 0) Fail("plain client: no reply to \"!@\"");
    bool ready = false;
    for (int poll = 0; poll < 20 && !ready; ++poll) {
        WriteAll(fd, {static_cast<std::uint8_t>(BootByte::Poll)});
        ready = ReadByte(fd, 150) == BootByte::Ready;
    }
    if (!ready) Fail("plain client: the boot loader did not answer");
    WriteAll(fd, {static_cast<std::uint8_t>(BootByte::Start)});

    const auto& area = image.TransferArea();
    WriteAll(fd, BuildBootFrame(BootFrame::Header, std::span<const std::uint8_t>(area.data() + TransferHeaderOffset,
                                                                                   FirmwareHeaderSize)));
    AwaitAcknowledgement(fd);
    for (int p = 0; p < TransferAreaSize; p += TransferPageSize)
        for (const auto& frame : PageFrames(area, p)) {
            WriteAll(fd, frame);
            AwaitAcknowledgement(fd);
        }
    WriteAll(fd, BuildBootFrame(BootFrame::Close, {}));
    close(fd);
}

// ---- the link from a plain loop --------------------------------------------

void LinkUpdate(const std::string& port, const FirmwareImage& image) {
    QuietHost host;
    SimulatorState state;
    TComIo link(host, state, image);
    // As the scheduler searches: a silent attempt is repeated a step later.
    int attempts = Connection::SearchAttemptsPerSearch;
    SchedulerState found;
    while ((found = link.FindSimulator(port, attempts-- <= 1)) == SchedulerState::Search)
        std::this_thread::sleep_for(std::chrono::milliseconds(Connection::StepInterval));
    if (found != SchedulerState::AutoUpdate) Fail("the link did not find the simulator due for an update");
    NoView view;
    FirmwareUpdate update(link, image);
    update.Begin(SchedulerState::AutoUpdate, view, port);
    std::optional<SchedulerState> end;
    while (!(end = update.Step()))
        std::this_thread::sleep_for(std::chrono::milliseconds(FirmwareUpdate::StepInterval));
    if (*end != SchedulerState::Search) Fail("the link's update failed: " + update.FailureText());
}

// ---- the window ------------------------------------------------------------

void WindowUpdate(const std::string& windowProgram, const EmulatorRun& emulator, const fs::path& scratch) {
    // The window runs from a folder of its own, where it keeps its settings file.
    const fs::path folder = scratch / "window";
    fs::create_directories(folder);
    const fs::path program = folder / "knsimtool";
    fs::copy_file(windowProgram, program, fs::copy_options::overwrite_existing);
    {
        BenchChild window(program.string(), {"--port", emulator.Port()}, {{"QT_QPA_PLATFORM", "offscreen"}},
                          (folder / "window.out").string());
        if (!emulator.WaitFor("frame 02", 60000)) Fail("the window did not update the simulator");
        // Back in Polling: the window has found the new firmware.
        emulator.WaitFor("!K1", 10000);
        window.Terminate();
        window.Wait(10000);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Runs one client against the port and ends: "--client plain PORT" or
// "--client link PORT". Every client runs in a process of its own, as the
// window does, so that none shares the emulator's process.
int RunClient(const std::string& kind, const std::string& port) {
    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    image.PrepareTransferArea();
    if (kind == "plain")
        PlainClientUpdate(port, image);
    else if (kind == "link")
        LinkUpdate(port, image);
    else
        Fail("unknown client " + kind);
    return 0;
}

void ClientUpdate(const char* kind, const std::string& port) {
    BenchChild client(fs::read_symlink("/proc/self/exe").string(), {"--client", kind, port});
    const auto ended = client.Wait(60000);
    if (ended.Status != 0) Fail(std::string("the ") + kind + " client ended with status " + std::to_string(ended.Status));
}

}  // namespace

static int Bench(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--client") return RunClient(argv[2], argv[3]);
    int rounds = 3;
    std::string otherWindow;  // another build of the window, to compare with
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::string(argv[i]) == "--rounds") rounds = std::max(1, std::atoi(argv[i + 1]));
        if (std::string(argv[i]) == "--other-window") otherWindow = argv[i + 1];
    }
    // The emulators' logs and the window's folder.
    const TempFolder scratchFolder("kns-bench-update");
    const fs::path scratch = scratchFolder.Path();
    int emulators = 0;

    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    image.PrepareTransferArea();

    // The bytes the image makes, as a check on what the simulator logged.
    std::size_t expected = AcknowledgementSize;
    for (int p = 0; p < TransferAreaSize; p += TransferPageSize)
        for (const auto& f : PageFrames(image.TransferArea(), p)) expected += f.size() + AcknowledgementSize;
    expected += RequestSize(BootFrame::Close);

    // The clients take turns, round after round, so that the machine's
    // ups and downs fall on all of them; each figure is the median of its
    // rounds. A first update, not counted, warms the programs up.
    const bool haveWindow = fs::exists(ProgramPath("knsimtool"));
    std::vector<std::pair<const char*, std::vector<Run>>> columns = {{"plain client", {}}, {"link alone", {}}};
    if (haveWindow) columns.push_back({"window", {}});
    if (!otherWindow.empty()) columns.push_back({"other window", {}});

    {
        EmulatorRun warmUp(scratch, emulators++);
        ClientUpdate("plain", warmUp.Port());
    }
    for (int round = 0; round < rounds; ++round) {
        for (auto& [name, runs] : columns) {
            const EmulatorRun emulator(scratch, emulators++);
            const std::string client = name;
            if (client == "plain client")
                ClientUpdate("plain", emulator.Port());
            else if (client == "link alone")
                ClientUpdate("link", emulator.Port());
            else
                WindowUpdate(client == "window" ? ProgramPath("knsimtool") : otherWindow, emulator, scratch);
            if (!emulator.WaitFor("frame 02", 5000)) Fail(client + ": no closing frame");
            runs.push_back(Measure(emulator.Entries()));
            if (runs.back().Bytes != expected)
                Fail(client + ": the simulator saw " + std::to_string(runs.back().Bytes) + " bytes, the image makes " +
                     std::to_string(expected));
        }
    }
    auto median = [](const std::vector<Run>& runs, double Run::*field) {
        std::vector<double> values;
        for (const Run& r : runs) values.push_back(r.*field);
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    };
    const double wire = WireMs(expected);

    std::printf("Firmware update against knsim-emu --pace (115200 baud, %.1f us a byte), timed by the simulator\n",
                ByteTimeUs);
    std::printf("  transfer: header frame to closing frame, %zu frames, %zu bytes both ways, wire time %.1f ms\n",
                columns.front().second.front().Frames, expected, wire);
    std::printf("  medians of %d rounds         ", rounds);
    for (const auto& [name, runs] : columns) std::printf("%14s", name);
    const std::pair<const char*, double Run::*> rows[] = {
        {"transfer (ms)", &Run::Transfer},
        {"\"!@\" to the header frame (ms)", &Run::BeforeFirst},
        {"whole update, \"!@\" on (ms)", &Run::Whole},
        {"own time per frame (us)", &Run::OwnUs},
    };
    for (const auto& [label, field] : rows) {
        std::printf("\n  %-30s", label);
        for (const auto& [name, runs] : columns) std::printf("%14.1f", median(runs, field));
    }
    std::printf("\n  %-30s", "transfer / wire time");
    for (const auto& [name, runs] : columns) std::printf("%14.4f", median(runs, &Run::Transfer) / wire);
    std::printf("\n");
    const double plain = median(columns[0].second, &Run::Transfer);
    std::printf("RATIO update-plain %.4f (the line and a client that only waits)\n", plain / wire);
    std::printf("RATIO update %.4f (the link alone; goal <= 1.05)\n", median(columns[1].second, &Run::Transfer) / wire);
    for (std::size_t i = 2; i < columns.size(); ++i) {
        const std::string key = i == 2 ? "update-window" : "update-other-window";
        const double window = median(columns[i].second, &Run::Transfer);
        std::printf("RATIO %s %.4f\n", key.c_str(), window / wire);
        std::printf("RATIO %s-vs-plain %.4f (goal <= 1)\n", key.c_str(), window / plain);
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return Bench(argc, argv);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_update: %s\n", failure.what());
        return 1;
    }
}
