#include "EmulatedSimulator.h"

#include "BootLoader.h"
#include "ElmAdapter.h"
#include "FirmwareCommands.h"
#include "FirmwareBlob.h"
#include "ObdPort.h"
#include "EmulatorPty.h"
#include "Wire.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace {

constexpr std::uint8_t kCarriageReturn = 0x0D;
constexpr std::uint8_t kLineFeed = 0x0A;
constexpr std::size_t kLineEndSize = 2;  // carriage return and line feed
constexpr std::uint8_t kCommandStart = '!';
constexpr std::size_t kMaxLine = 4096;
// A frame is written whole; bytes of one that stop for this long belong to a
// sender that gave up on it (or to commands sent to a boot loader left in the
// middle of a transfer). Shorter than the pause between two polls, so that
// the next poll is heard as one.
constexpr auto kFrameGiveUp = std::chrono::milliseconds(200);
constexpr std::size_t kReadChunk = 4096;

const char kIdentityText[] = "KARNOL OBD-II SIMULATOR";  // identity bytes 0.., NUL-padded
const char kVinText[] = "WKN0EMU0000000001";             // configuration bytes 0x10..

}  // namespace

class EmulatedSimulator::Impl {
public:
    explicit Impl(EmulatorOptions o)
        : options(std::move(o)), state(InitialState(options)), faults(options.Faults), bootFaults(options.Boot) {}

    enum class Mode { Firmware, BootLoader, Restarting, Vanished };

    void Start();
    void Stop();
    void AddLog(std::string entry, EmuClock::time_point at = EmuClock::now());  // lock held
    void Run();

    // Service thread.
    void HandleRequests();
    void HandleDeadlines();
    void ReadInput();
    void HandleByte(std::uint8_t byte, EmuClock::time_point arrival);
    void HandleLine(EmuClock::time_point arrival);
    void HandleBootByte(std::uint8_t byte, EmuClock::time_point arrival);
    void EnterBootLoader(const char* why);  // lock held
    void Vanish();                          // lock held
    std::string Return();                   // lock held; the new path, or empty
    void OpenPort();                        // lock held
    void ServeObd();

    EmulatorOptions options;
    mutable std::mutex mutex;
    mutable std::condition_variable logChanged;
    DeviceState state;
    CommandFaults faults;
    BootFaults bootFaults;
    std::vector<std::string> log;
    std::vector<EmuClock::time_point> logTimes;  // one for each entry of log
    std::FILE* logFile = nullptr;
    EmuClock::time_point startedAt{};
    Mode mode = Mode::Firmware;
    std::unique_ptr<EmulatorPty> pty;
    std::string portPath;
    std::string linkTarget;
    bool running = false;

    std::thread thread;
    int wakeFd = -1;
    std::atomic<bool> stopping{false};
    std::atomic<bool> resetRequested{false};
    std::unique_ptr<Wire> wire;
    // The diagnostic side: created before the service thread starts and
    // dropped after it ends; in between only that thread touches it.
    std::unique_ptr<ObdPort> obd;

    // Owned by the service thread.
    BootLoader loader;
    std::string line;
    int commandsSeen = 0;
    bool vanished = false;
    EmuClock::time_point modeDeadline{};
    EmuClock::time_point frameDeadline{};
    ElmAdapter adapter;
    EmuClock::time_point started{};
};

DeviceState EmulatedSimulator::InitialState(const EmulatorOptions& o) {
    if (o.Protocol < 1 || o.Protocol > 9) throw std::invalid_argument("protocol must be 1 to 9");
    if (o.Codes1.size() > kCodeSlots || o.Codes2.size() > kCodeSlots)
        throw std::invalid_argument("at most 10 trouble codes per ECU");
    DeviceState s;
    std::memcpy(s.Identity.data(), kIdentityText, sizeof kIdentityText - 1);
    for (std::size_t i = 0; i < kSerialSize && i < o.Serial.size(); ++i)
        s.Identity[kSerialOffset + i] = static_cast<std::uint8_t>(o.Serial[i]);

    // The carried image is what a simulator fresh from the factory runs.
    const auto blob = CarriedFirmwareBlob();
    std::copy_n(blob.begin(), std::min(blob.size(), kHeaderSize), s.InstalledHeader.begin());
    if (o.Version)
        std::copy(o.Version->begin(), o.Version->end(), s.InstalledHeader.begin() + kVersionOffset);
    if (blob.size() > kHeaderSize) {
        const std::size_t body = std::min(blob.size() - kHeaderSize, kFlashHeaderOffset);
        std::copy_n(blob.begin() + kHeaderSize, body, s.Flash.begin());
    }
    std::copy(s.InstalledHeader.begin(), s.InstalledHeader.end(),
              s.Flash.begin() + static_cast<std::ptrdiff_t>(kFlashHeaderOffset));

    s.Protocol = static_cast<std::uint8_t>(o.Protocol);
    s.SecondEcu = o.TwoEcus;
    s.MilOn = o.Mil;
    s.Config[0] = 'K';
    s.Config[1] = 'N';
    s.Config[2] = 0x01;  // layout revision
    s.Config[kEcu1AddressOffset] = 0x10;
    s.Config[kEcu2AddressOffset] = 0x18;
    s.Config[kEcu1CanIdOffset] = 0xE8;
    s.Config[kEcu1CanIdOffset + 1] = 0x07;
    s.Config[kEcu2CanIdOffset] = 0xE9;
    s.Config[kEcu2CanIdOffset + 1] = 0x07;
    std::memcpy(s.Config.data() + 0x10, kVinText, sizeof kVinText - 1);
    s.SetCodes(1, o.Codes1);
    s.SetCodes(2, o.Codes2);
    s.CodeCounts = static_cast<std::uint8_t>(o.Codes1.size() | o.Codes2.size() << 4);
    return s;
}

void EmulatedSimulator::Impl::AddLog(std::string entry, EmuClock::time_point at) {
    if (logFile) {
        if (options.LogTimes)
            std::fprintf(logFile, "%.3f ", std::chrono::duration<double, std::milli>(at - startedAt).count());
        std::fputs(entry.c_str(), logFile);
        std::fputc('\n', logFile);
        std::fflush(logFile);
    }
    if (options.KeepLog) {
        log.push_back(std::move(entry));
        logTimes.push_back(at);
    }
    logChanged.notify_all();
}

void EmulatedSimulator::Impl::OpenPort() {
    auto fresh = std::make_unique<EmulatorPty>();
    if (!options.LinkPath.empty()) {
        PointLink(options.LinkPath, fresh->SlavePath());
        linkTarget = fresh->SlavePath();
    }
    pty = std::move(fresh);
    portPath = pty->SlavePath();
    if (wire) wire->SetFd(pty->Master());
}

void EmulatedSimulator::Impl::Start() {
    std::unique_lock lock(mutex);
    if (running) return;
    startedAt = EmuClock::now();
    wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wakeFd < 0) throw std::runtime_error(std::string("eventfd: ") + std::strerror(errno));
    try {
        if (!options.LogPath.empty()) {
            logFile = std::fopen(options.LogPath.c_str(), "a");
            if (!logFile) throw std::runtime_error("cannot open " + options.LogPath + ": " + std::strerror(errno));
        }
        wire = std::make_unique<Wire>(wakeFd, stopping);
        wire->SetPace(options.Pace);
        OpenPort();
        if (options.Obd.Enabled) obd = std::make_unique<ObdPort>(options.Obd.Baud, options.Obd.LinkPath);
    } catch (...) {
        if (!linkTarget.empty()) RemoveLink(options.LinkPath, linkTarget);
        linkTarget.clear();
        pty.reset();
        portPath.clear();
        if (logFile) std::fclose(logFile);
        logFile = nullptr;
        ::close(wakeFd);
        wakeFd = -1;
        wire.reset();
        throw;
    }
    stopping = false;
    resetRequested = false;
    vanished = false;
    commandsSeen = 0;
    line.clear();
    mode = Mode::Firmware;
    if (options.StartInBootLoader) EnterBootLoader("boot loader");
    adapter.Reset();
    started = EmuClock::now();
    running = true;
    thread = std::thread([this] { Run(); });
}

void EmulatedSimulator::Impl::Stop() {
    {
        std::lock_guard lock(mutex);
        if (!running) return;
        stopping = true;
    }
    const std::uint64_t one = 1;
    (void)!::write(wakeFd, &one, sizeof one);
    thread.join();
    std::lock_guard lock(mutex);
    pty.reset();
    obd.reset();
    if (!linkTarget.empty()) RemoveLink(options.LinkPath, linkTarget);
    linkTarget.clear();
    portPath.clear();
    wire.reset();
    ::close(wakeFd);
    wakeFd = -1;
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
    running = false;
}

void EmulatedSimulator::Impl::EnterBootLoader(const char* why) {
    mode = Mode::BootLoader;
    loader.Reset();
    line.clear();
    AddLog(why);
}

void EmulatedSimulator::Impl::Vanish() {
    AddLog("vanish");
    vanished = true;
    if (!linkTarget.empty()) RemoveLink(options.LinkPath, linkTarget);
    linkTarget.clear();
    pty.reset();
    portPath.clear();
    wire->SetFd(-1);
    mode = Mode::Vanished;
    if (faults.ReturnAfterMs >= 0) modeDeadline = EmuClock::now() + std::chrono::milliseconds(faults.ReturnAfterMs);
}

std::string EmulatedSimulator::Impl::Return() {
    try {
        OpenPort();
    } catch (const std::exception& e) {
        AddLog(std::string("return failed: ") + e.what());
        faults.ReturnAfterMs = -1;
        return {};
    }
    mode = Mode::Firmware;
    line.clear();
    AddLog("return " + portPath);
    return portPath;
}

void EmulatedSimulator::Impl::HandleRequests() {
    if (!resetRequested.exchange(false)) return;
    std::lock_guard lock(mutex);
    if (mode == Mode::Vanished) return;  // nobody can press a button on an unplugged device
    EnterBootLoader("reset");
}

void EmulatedSimulator::Impl::HandleDeadlines() {
    const auto now = EmuClock::now();
    std::string newPath;
    {
        std::lock_guard lock(mutex);
        if (mode == Mode::Restarting && now >= modeDeadline) {
            mode = Mode::Firmware;
            line.clear();
            AddLog("firmware");
        } else if (mode == Mode::Vanished && faults.ReturnAfterMs >= 0 && now >= modeDeadline) {
            newPath = Return();
        }
        if (mode == Mode::BootLoader && loader.InFrame() && now >= frameDeadline) loader.DropPartialFrame();
    }
    // Outside the lock: the callback may well ask for the port path.
    if (!newPath.empty() && options.OnPortChanged) options.OnPortChanged(newPath);
}

void EmulatedSimulator::Impl::Run() {
    // Paced bytes are 87 us apart: do not let the kernel round sleeps up.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
    for (;;) {
        int timeoutMs = -1;
        int master = -1, watch = -1;
        if (stopping) return;
        HandleRequests();
        HandleDeadlines();
        ServeObd();
        {
            std::lock_guard lock(mutex);
            auto next = EmuClock::time_point::max();
            if (mode == Mode::Restarting || (mode == Mode::Vanished && faults.ReturnAfterMs >= 0))
                next = modeDeadline;
            if (mode == Mode::BootLoader && loader.InFrame()) next = std::min(next, frameDeadline);
            if (obd && obd->Sending()) next = std::min(next, obd->NextDue());
            if (next != EmuClock::time_point::max()) {
                const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - EmuClock::now()).count();
                timeoutMs = static_cast<int>(std::clamp<long long>(left, 0, 60000));
            }
            if (pty) {
                master = pty->Master();
                watch = pty->OpenWatch();
            }
        }
        pollfd fds[5] = {{wakeFd, POLLIN, 0},
                         {master, POLLIN, 0},
                         {watch, POLLIN, 0},
                         {obd ? obd->Master() : -1, POLLIN, 0},
                         {obd ? obd->Watch() : -1, POLLIN, 0}};
        const int ready = ::poll(fds, 5, timeoutMs);
        if (ready <= 0) continue;
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            (void)!::read(wakeFd, &count, sizeof count);
        }
        if (fds[2].revents & POLLIN) {
            std::lock_guard lock(mutex);
            if (pty && pty->DrainWatch()) pty->ClearExclusive();
        }
        if (fds[4].revents & POLLIN) obd->HandleWatch();
        if (fds[3].revents & POLLIN) obd->ReadInput();
        if (fds[1].revents & POLLIN) {
            ReadInput();
        } else if (fds[1].revents & (POLLHUP | POLLERR)) {
            // Cannot happen while our own slave descriptor is open; do not
            // spin on it if a kernel reports it anyway.
            wire->WaitUntil(EmuClock::now() + std::chrono::milliseconds(20));
        }
    }
}

void EmulatedSimulator::Impl::ServeObd() {
    if (!obd) return;
    obd->Flush(EmuClock::now());
    // One request at a time, as the adapter does: the next line is looked at
    // once the reply to the one before has left.
    while (!obd->Sending() && obd->HasLine()) {
        const ObdPort::Line line = obd->TakeLine();
        AdapterReply reply;
        {
            std::lock_guard lock(mutex);
            AddLog("obd " + line.Text);
            BusConditions bus;
            // The ECUs run with the firmware; an unplugged configuration
            // cable does not stop them.
            bus.EcusRunning = mode == Mode::Firmware || mode == Mode::Vanished;
            const std::chrono::duration<double> running = EmuClock::now() - started;
            bus.Signals = SignalsAt(running.count(), options.Obd.Live);
            reply = adapter.Execute(line.Text, state, bus);
        }
        obd->Send(reply.Now, line.Arrival);
        const auto ecuDelay = std::chrono::milliseconds(reply.FromEcus ? options.Obd.EcuDelayMs : 0);
        obd->Send(reply.Later, line.Arrival + ecuDelay);
        obd->Flush(EmuClock::now());
    }
}

void EmulatedSimulator::Impl::ReadInput() {
    std::uint8_t buffer[kReadChunk];
    int fd;
    {
        std::lock_guard lock(mutex);
        if (!pty) return;
        fd = pty->Master();
    }
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return;
    const auto readAt = EmuClock::now();
    for (ssize_t i = 0; i < n; ++i) {
        HandleByte(buffer[i], wire->Arrival(readAt));
        std::lock_guard lock(mutex);
        if (stopping || mode == Mode::Vanished) return;
    }
}

void EmulatedSimulator::Impl::HandleByte(std::uint8_t byte, EmuClock::time_point arrival) {
    Mode current;
    {
        std::lock_guard lock(mutex);
        current = mode;
    }
    switch (current) {
    case Mode::Restarting:
    case Mode::Vanished:
        return;  // a rebooting or unplugged device hears nothing
    case Mode::BootLoader:
        HandleBootByte(byte, arrival);
        return;
    case Mode::Firmware:
        break;
    }
    if (byte == kCommandStart) {
        line.assign(1, static_cast<char>(byte));  // a command start drops any noise before it
    } else if (byte == kCarriageReturn) {
        if (!line.empty()) HandleLine(arrival);
        line.clear();
    } else if (byte != kLineFeed) {
        if (line.size() >= kMaxLine) line.clear();
        line += static_cast<char>(byte);
    }
}

void EmulatedSimulator::Impl::HandleLine(EmuClock::time_point arrival) {
    FirmwareReply reply;
    int byteDelay;
    if (!wire->WaitUntil(arrival)) return;  // paced: not before the line has crossed the wire
    {
        std::lock_guard lock(mutex);
        if (line[0] == kCommandStart && faults.VanishAfter > 0 && !vanished && ++commandsSeen > faults.VanishAfter) {
            AddLog(line, arrival);
            Vanish();
            return;
        }
        AddLog(line, arrival);
        // Text that is not a command (for instance boot-loader polls sent
        // to the running firmware) is not answered.
        if (line[0] != kCommandStart) return;
        reply = ExecuteCommand(line, state, faults);
        byteDelay = faults.ByteDelayMs;
    }
    if (reply.Line) {
        std::vector<std::uint8_t> bytes(reply.Line->begin(), reply.Line->end());
        bytes.push_back(kCarriageReturn);
        bytes.push_back(kLineFeed);
        wire->Send(bytes, arrival, byteDelay, kLineEndSize);
    }
    if (reply.EnterBootLoader) {
        std::lock_guard lock(mutex);
        EnterBootLoader("boot loader");
    }
}

void EmulatedSimulator::Impl::HandleBootByte(std::uint8_t byte, EmuClock::time_point arrival) {
    BootLoader::Output out;
    int ackDelay;
    bool acts;
    {
        std::lock_guard lock(mutex);
        if (loader.InFrame() && arrival >= frameDeadline) loader.DropPartialFrame();
        frameDeadline = arrival + kFrameGiveUp;
        acts = loader.Acts(byte);
    }
    // Paced: not before the byte that completes a request has crossed the wire.
    if (acts && !wire->WaitUntil(arrival)) return;
    {
        std::lock_guard lock(mutex);
        loader.Feed(byte, state, bootFaults, out);
        for (auto& e : out.Events) AddLog(std::move(e), acts ? arrival : EmuClock::now());
        ackDelay = bootFaults.AckDelayMs;
        if (out.Finished) {
            AddLog("restart");
            mode = Mode::Restarting;
            modeDeadline = EmuClock::now() + std::chrono::milliseconds(options.RestartSilenceMs);
        }
    }
    if (out.Reply.empty()) return;
    auto notBefore = arrival;
    if (out.IsAck && ackDelay > 0) notBefore = std::max(notBefore, EmuClock::now()) + std::chrono::milliseconds(ackDelay);
    wire->Send(out.Reply, notBefore, 0);
}

EmulatedSimulator::EmulatedSimulator(EmulatorOptions options) : impl_(std::make_unique<Impl>(std::move(options))) {}
EmulatedSimulator::~EmulatedSimulator() { Stop(); }
void EmulatedSimulator::Start() { impl_->Start(); }
void EmulatedSimulator::Stop() { impl_->Stop(); }

bool EmulatedSimulator::Running() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->running;
}

std::string EmulatedSimulator::PortPath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->portPath;
}

std::string EmulatedSimulator::ObdPortPath() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->obd ? impl_->obd->Path() : std::string();
}

std::vector<std::string> EmulatedSimulator::Log() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

std::vector<EmulatedSimulator::TimedEntry> EmulatedSimulator::TimedLog(std::size_t from) const {
    std::lock_guard lock(impl_->mutex);
    std::vector<TimedEntry> entries;
    if (from < impl_->log.size()) entries.reserve(impl_->log.size() - from);
    for (std::size_t i = from; i < impl_->log.size(); ++i) entries.push_back({impl_->log[i], impl_->logTimes[i]});
    return entries;
}

std::size_t EmulatedSimulator::LogSize() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log.size();
}

void EmulatedSimulator::ClearLog() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
    impl_->logTimes.clear();
}

bool EmulatedSimulator::WaitForLogSize(std::size_t n, int timeoutMs) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                      [&] { return impl_->log.size() >= n; });
}

bool EmulatedSimulator::WaitForLogEntry(std::string_view entry, int timeoutMs) const {
    std::unique_lock lock(impl_->mutex);
    return impl_->logChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::find(impl_->log.begin(), impl_->log.end(), entry) != impl_->log.end();
    });
}

void EmulatedSimulator::PressReset() {
    impl_->resetRequested = true;
    std::lock_guard lock(impl_->mutex);
    if (impl_->wakeFd >= 0) {
        const std::uint64_t one = 1;
        (void)!::write(impl_->wakeFd, &one, sizeof one);
    }
}

bool EmulatedSimulator::InBootLoader() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->mode == Impl::Mode::BootLoader;
}

DeviceState EmulatedSimulator::State() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->state;
}

void EmulatedSimulator::SetState(const DeviceState& state) {
    std::lock_guard lock(impl_->mutex);
    impl_->state = state;
    impl_->state.Flash.resize(kFlashSize, 0xFF);
}

void EmulatedSimulator::SetFaults(const CommandFaults& faults) {
    std::lock_guard lock(impl_->mutex);
    impl_->faults = faults;
}

void EmulatedSimulator::SetBootFaults(const BootFaults& faults) {
    std::lock_guard lock(impl_->mutex);
    impl_->bootFaults = faults;
}
