#include "CliSession.h"

#include "CliError.h"
#include "Interrupt.h"
#include "PortsInOrder.h"

#include "FirmwareBlob.h"
#include "link/PortChoice.h"

#include "link/SetupActions.h"
#include "link/StatusTexts.h"

#include <utility>

namespace {

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

CliSession::CliSession(const CliOptions& options, BoxEvents& events)
    : options_(options), events_(events), image_(LoadCarriedImage()), io_(host_, state_, image_), port_(options.Port) {
    image_.PrepareTransferArea();
    if (options.Verbose) host_.OnStatusText = [&events](const std::string& text) { events.Verbose(text); };
    // A reply that trickles in must not hold a signalled run for minutes.
    (void)io_.SetStopWaiting([] { return Interrupted(); });
}

CliSession::~CliSession() { io_.ClosePort(); }

void CliSession::Fail(const std::string& fallback) {
    const std::string& text = host_.StatusText();
    // The message stays the link's own; how to get access comes as a hint.
    if (host_.StatusKind() == FailureKind::PermissionDenied) throw CliError(ExitDeviceFailed, text, PermissionAdvice(io_.PortName()));
    throw CliError(ExitDeviceFailed, text.empty() ? fallback : text);
}

void CliSession::ThrowIfInterrupted() const {
    if (const int sig = InterruptSignal()) throw CliError(128 + sig, "Interrupted");
}

SchedulerState CliSession::SearchLoop() {
    schedulerState_ = SchedulerState::Search;
    Connection::StepResult step = connection_.Step(port_);
    while (schedulerState_ == SchedulerState::Search) {
        if (!SleepUnlessInterrupted(*step.NextStepMs)) ThrowIfInterrupted();
        step = connection_.Step(port_);
    }
    ThrowIfInterrupted();
    if (!Found(schedulerState_)) Fail(LinkText::NotFound);
    return schedulerState_;
}

SchedulerState CliSession::SearchBySerial() {
    for (const auto& port : ListPortsInOrder()) {
        ThrowIfInterrupted();
        const SchedulerState s = io_.FindSimulator(port, true);
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
    if (foundAhead_) return *std::exchange(foundAhead_, std::nullopt);
    events_.Searching();
    SchedulerState s;
    if (!options_.Serial.empty()) {
        s = SearchBySerial();
    } else {
        connection_.Restart();
        s = SearchLoop();
    }
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

SchedulerState CliSession::SearchAhead() {
    foundAhead_ = Search();
    return *foundAhead_;
}

SchedulerState CliSession::SearchAgain() {
    events_.Searching();
    connection_.Restart(SchedulerState::Search, FirmwareUpdate::SearchAttemptsAfterUpdate);
    const SchedulerState s = SearchLoop();
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

void CliSession::ReadConfiguration() {
    schedulerState_ = SchedulerState::ReadConfiguration;
    // The step clears the status text after the configuration read, failed
    // or not; a failure's own text is kept for the error message.
    Connection::StepResult step;
    const std::string failure = FirstFailure([&] { step = connection_.Step(port_); });
    ThrowIfInterrupted();
    if (!step.Connected) Fail(LinkText::StatusFailed);
    if (schedulerState_ != SchedulerState::Polling)
        throw CliError(ExitDeviceFailed, failure.empty() ? LinkText::ConfigFailed : failure);
}

void CliSession::Connect() {
    Search();
    ThrowIfInterrupted();
    if (updateDue_ && options_.Command != "info") {
        events_.Note("Note: the simulator's firmware " + state_.InstalledVersionText() + " differs from the carried " +
                     image_.VersionLabel() + "; 'update-firmware' updates it.");
    }
    ReadConfiguration();
}

void CliSession::ReadBack() { ReadConfiguration(); }

std::string CliSession::FirstFailure(const std::function<void()>& action) {
    std::string failure;
    const auto echo = host_.OnStatusText;
    host_.OnStatusText = [&failure, &echo](const std::string& text) {
        if (echo) echo(text);
        const bool progress =
            text.empty() || text == LinkText::ReadingConfiguration || text == LinkText::SendingData ||
            LinkText::IsConnecting(text);
        if (failure.empty() && !progress) failure = text;
    };
    try {
        action();
    } catch (...) {
        host_.OnStatusText = echo;
        throw;
    }
    host_.OnStatusText = echo;
    return failure;
}

bool CliSession::Poll() {
    schedulerState_ = SchedulerState::Polling;
    connection_.Step(port_);
    return host_.StatusText().empty();
}

CliSession::Probe CliSession::ProbePort(const std::string& port) {
    Probe p;
    const SchedulerState s = io_.FindSimulator(port, true);
    if (Found(s)) {
        p.Answered = true;
        p.Serial = state_.SerialNumber();
        p.Version = state_.InstalledVersionText();
    }
    io_.ClosePort();
    return p;
}
