#include "CliSession.h"

#include "CliError.h"
#include "Interrupt.h"
#include "PortList.h"

#include "FirmwareBlob.h"

#include <cstdio>

namespace {

// The scheduler's pause between identification attempts.
constexpr int SearchIntervalMs = 100;

bool Found(SchedulerState s) { return s == SchedulerState::ReadConfiguration || s == SchedulerState::AutoUpdate; }

}  // namespace

FirmwareImage LoadCarriedImage() {
    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    try {
        image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    } catch (const EFailure& e) {
        throw CliError(ExitDeviceFailed, e.Message());
    }
    return image;
}

CliSession::CliSession(const CliOptions& options)
    : options_(options), image_(LoadCarriedImage()), io_(host_, state_, image_), port_(options.Port) {
    image_.PrepareTransferArea();
    host_.SetVerbose(options.Verbose);
    host_.SetPort(port_);
    // A reply that trickles in must not hold a signalled run for minutes.
    io_.StopWaiting = [] { return Interrupted(); };
}

CliSession::~CliSession() { io_.ClosePort(); }

void CliSession::Fail(const std::string& fallback) {
    const std::string& text = host_.StatusText();
    throw CliError(ExitDeviceFailed, text.empty() ? fallback : text);
}

void CliSession::ThrowIfInterrupted() const {
    if (const int sig = InterruptSignal()) throw CliError(128 + sig, "Interrupted");
}

SchedulerState CliSession::SearchLoop() {
    SchedulerState s = io_.FindSimulator();
    while (s == SchedulerState::Search) {
        if (!SleepUnlessInterrupted(SearchIntervalMs)) ThrowIfInterrupted();
        s = io_.FindSimulator();
    }
    ThrowIfInterrupted();
    if (!Found(s)) Fail("No KARNOL simulator found");
    return s;
}

SchedulerState CliSession::SearchBySerial() {
    for (const auto& port : ListPortsInOrder()) {
        ThrowIfInterrupted();
        host_.SetPort(port);
        io_.SearchAttempts = 1;
        const SchedulerState s = io_.FindSimulator();
        if (Found(s) && state_.SerialNumber() == options_.Serial) {
            port_ = port;
            return s;  // the port stays open, as after any successful search
        }
        io_.ClosePort();
    }
    ThrowIfInterrupted();
    throw CliError(ExitDeviceFailed, "No KARNOL simulator with serial number " + options_.Serial + " found");
}

SchedulerState CliSession::Search() {
    SchedulerState s;
    if (!options_.Serial.empty()) {
        s = SearchBySerial();
    } else {
        host_.SetPort(port_);
        io_.SearchAttempts = 2;
        s = SearchLoop();
    }
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

SchedulerState CliSession::SearchAgain() {
    host_.SetPort(port_);
    const SchedulerState s = SearchLoop();
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

void CliSession::ReadConfiguration() {
    host_.PanelInfo("Reading configuration");
    if (!io_.ReadStatus()) Fail("Can't read simulator status");
    ThrowIfInterrupted();
    if (io_.ReadConfig() != SchedulerState::Polling) Fail("Can't read simulator configuration");
    host_.PanelInfo("");
    ThrowIfInterrupted();
}

void CliSession::Connect() {
    Search();
    ThrowIfInterrupted();
    if (updateDue_ && options_.Command != "info") {
        std::fprintf(stderr,
                     "Note: the simulator's firmware %s differs from the carried %s; "
                     "'update-firmware' updates it.\n",
                     state_.InstalledVersionText().c_str(), image_.VersionLabel().c_str());
    }
    ReadConfiguration();
}

void CliSession::ReadBack() { ReadConfiguration(); }

CliSession::Probe CliSession::ProbePort(const std::string& port) {
    Probe p;
    host_.SetPort(port);
    io_.SearchAttempts = 1;
    const SchedulerState s = io_.FindSimulator();
    if (Found(s)) {
        p.Answered = true;
        p.Serial = state_.SerialNumber();
        p.Version = state_.InstalledVersionText();
    }
    io_.ClosePort();
    return p;
}
