#include "EmulatorService.h"

#include "EmulatedSimulator.h"
#include "EmulatorPorts.h"
#include "FirmwareCommands.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>

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

}  // namespace

EmulatorService::EmulatorService(EmulatorOptions o)
    : options(std::move(o)),
      state(EmulatedSimulator::InitialState(options)),
      faults(options.Faults),
      bootFaults(options.Boot) {
    CheckEmulatorPorts(options);
}

void EmulatorService::AddLog(std::string entry, EmuClock::time_point at) {
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

void EmulatorService::Start() {
    std::unique_lock lock(mutex);
    if (running) return;
    startedAt = EmuClock::now();
    try {
        if (!options.LogPath.empty()) {
            logFile = std::fopen(options.LogPath.c_str(), "a");
            if (!logFile) throw std::runtime_error("cannot open " + options.LogPath + ": " + std::strerror(errno));
        }
        EmulatorPorts ports = MakeEmulatorPorts(options);
        line = std::move(ports.Line);
        obd = std::move(ports.Obd);
        wire = std::make_unique<Wire>(*line, stopping);
        wire->SetPace(options.Pace);
        portPath = line->Open();
    } catch (...) {
        ReleasePorts();
        throw;
    }
    stopping = false;
    resetRequested = false;
    vanished = false;
    commandsSeen = 0;
    received.clear();
    mode = Mode::Firmware;
    if (options.StartInBootLoader) EnterBootLoader("boot loader");
    adapter.Reset();
    running = true;
    thread = std::thread([this] { Run(); });
}

void EmulatorService::Stop() {
    {
        std::lock_guard lock(mutex);
        if (!running) return;
        stopping = true;
        line->Wake();
    }
    thread.join();
    std::lock_guard lock(mutex);
    ReleasePorts();
    running = false;
}

void EmulatorService::ReleasePorts() {
    wire.reset();
    if (line) line->Close();
    line.reset();
    obd.reset();
    portPath.clear();
    if (logFile) std::fclose(logFile);
    logFile = nullptr;
}

void EmulatorService::Wake() {
    std::lock_guard lock(mutex);
    if (line) line->Wake();
}

void EmulatorService::EnterBootLoader(const char* why) {
    mode = Mode::BootLoader;
    loader.Reset();
    received.clear();
    AddLog(why);
}

void EmulatorService::Vanish() {
    AddLog("vanish");
    vanished = true;
    line->Close();
    portPath.clear();
    mode = Mode::Vanished;
    if (faults.ReturnAfterMs >= 0) modeDeadline = EmuClock::now() + std::chrono::milliseconds(faults.ReturnAfterMs);
}

std::string EmulatorService::Return() {
    try {
        portPath = line->Open();
    } catch (const std::exception& e) {
        AddLog(std::string("return failed: ") + e.what());
        faults.ReturnAfterMs = -1;
        return {};
    }
    mode = Mode::Firmware;
    received.clear();
    AddLog("return " + portPath);
    return portPath;
}

void EmulatorService::HandleRequests() {
    if (!resetRequested.exchange(false)) return;
    std::lock_guard lock(mutex);
    if (mode == Mode::Vanished) return;  // nobody can press a button on an unplugged device
    EnterBootLoader("reset");
}

void EmulatorService::HandleDeadlines() {
    const auto now = EmuClock::now();
    std::string newPath;
    {
        std::lock_guard lock(mutex);
        if (mode == Mode::Restarting && now >= modeDeadline) {
            mode = Mode::Firmware;
            received.clear();
            AddLog("firmware");
        } else if (mode == Mode::Vanished && faults.ReturnAfterMs >= 0 && now >= modeDeadline) {
            newPath = Return();
        }
        if (mode == Mode::BootLoader && loader.InFrame() && now >= frameDeadline) loader.DropPartialFrame();
    }
    // Outside the lock: the callback may well ask for the port path.
    if (!newPath.empty() && options.OnPortChanged) options.OnPortChanged(newPath);
}

void EmulatorService::Run() {
    PrepareServiceThread();
    for (;;) {
        if (stopping) return;
        HandleRequests();
        HandleDeadlines();
        ServeObd();
        std::optional<EmuClock::time_point> deadline;
        {
            std::lock_guard lock(mutex);
            auto next = EmuClock::time_point::max();
            if (mode == Mode::Restarting || (mode == Mode::Vanished && faults.ReturnAfterMs >= 0))
                next = modeDeadline;
            if (mode == Mode::BootLoader && loader.InFrame()) next = std::min(next, frameDeadline);
            if (obd)
                if (const auto due = obd->NextDue()) next = std::min(next, *due);
            if (next != EmuClock::time_point::max()) deadline = next;
        }
        if (!crossing.empty()) {
            // Bytes on their way: look again once the next has crossed (the
            // line stays readable meanwhile, so waiting for input would spin).
            line->Sleep(deadline ? std::min(*deadline, crossing.front()) : crossing.front());
        } else {
            line->Wait(deadline);
        }
        ReadInput();
    }
}

void EmulatorService::ServeObd() {
    if (!obd) return;
    obd->Serve([this](const std::string& text) {
        std::lock_guard lock(mutex);
        AddLog("obd " + text);
        BusConditions bus;
        // The ECUs run with the firmware; an unplugged configuration
        // cable does not stop them.
        bus.EcusRunning = mode == Mode::Firmware || mode == Mode::Vanished;
        const std::chrono::duration<double> running = EmuClock::now() - startedAt;
        bus.Signals = SignalsAt(running.count(), options.Obd.Live);
        return adapter.Execute(text, state, bus);
    });
}

void EmulatorService::ReadInput() {
    if (wire->Paced()) {
        ReadPacedInput();
        return;
    }
    std::uint8_t buffer[kReadChunk];
    const std::size_t n = line->Read(buffer, sizeof buffer);
    if (n == 0) return;
    const auto readAt = EmuClock::now();
    for (std::size_t i = 0; i < n; ++i) {
        HandleByte(buffer[i], wire->Arrival(readAt));
        std::lock_guard lock(mutex);
        if (stopping || mode == Mode::Vanished) return;
    }
}

void EmulatorService::ReadPacedInput() {
    // A byte is taken off the line only once it has crossed the wire at
    // 115200 baud; until then the sender can still discard it.
    if (line->TakeSenderPurge()) {
        // What had not crossed yet is lost, as in a real line's transmit queue.
        std::uint8_t lost[kReadChunk];
        for (std::size_t left = line->Waiting(); left > 0;) {
            const std::size_t n = line->Read(lost, std::min(left, sizeof lost));
            if (n == 0) break;
            left -= n;
        }
        crossing.clear();
    }
    const std::size_t waiting = line->Waiting();
    if (waiting < crossing.size()) crossing.clear();  // discarded on the sender's side
    const auto now = EmuClock::now();
    while (crossing.size() < waiting) crossing.push_back(wire->Arrival(now));
    std::size_t due = 0;
    while (due < crossing.size() && crossing[due] <= now) ++due;
    std::uint8_t buffer[kReadChunk];
    const std::size_t n = line->Read(buffer, std::min(due, sizeof buffer));
    for (std::size_t i = 0; i < n; ++i) {
        const auto arrival = crossing.front();
        crossing.pop_front();
        HandleByte(buffer[i], arrival);
        std::lock_guard lock(mutex);
        if (stopping || mode == Mode::Vanished) {
            crossing.clear();
            return;
        }
    }
}

void EmulatorService::HandleByte(std::uint8_t byte, EmuClock::time_point arrival) {
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
        received.assign(1, static_cast<char>(byte));  // a command start drops any noise before it
    } else if (byte == kCarriageReturn) {
        if (!received.empty()) HandleLine(arrival);
        received.clear();
    } else if (byte != kLineFeed) {
        if (received.size() >= kMaxLine) received.clear();
        received += static_cast<char>(byte);
    }
}

void EmulatorService::HandleLine(EmuClock::time_point arrival) {
    FirmwareReply reply;
    int byteDelay;
    if (!wire->WaitUntil(arrival)) return;  // paced: not before the line has crossed the wire
    {
        std::lock_guard lock(mutex);
        const bool command = received[0] == kCommandStart;
        AddLog(received, arrival);
        if (command && faults.VanishAfter > 0 && !vanished && ++commandsSeen > faults.VanishAfter) {
            Vanish();
            return;
        }
        // Text that is not a command (for instance boot-loader polls sent
        // to the running firmware) is not answered.
        if (!command) return;
        reply = ExecuteCommand(received, state, faults);
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

void EmulatorService::HandleBootByte(std::uint8_t byte, EmuClock::time_point arrival) {
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
