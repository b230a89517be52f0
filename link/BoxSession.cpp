#include "BoxSession.h"

#include "BoxError.h"
#include "PortChoice.h"
#include "StatusTexts.h"

#include <utility>

namespace {

bool Found(SchedulerState s) { return s == SchedulerState::ReadConfiguration || s == SchedulerState::AutoUpdate; }

}  // namespace

BoxSession::BoxSession(BoxTarget target, FirmwareImage image, BoxEvents& events, BoxStop& stop)
    : target_(std::move(target)), events_(events), stop_(stop), image_(std::move(image)),
      io_(host_, state_, image_), port_(target_.Port) {
    image_.PrepareTransferArea();
    if (target_.Verbose) host_.OnStatusText = [&events](const std::string& text) { events.Verbose(text); };
    // A reply that trickles in must not hold a stopped run for minutes.
    (void)io_.SetStopWaiting([&stop] { return stop.Stopped(); });
}

BoxSession::~BoxSession() { io_.ClosePort(); }

void BoxSession::Fail(const std::string& fallback) {
    const std::string& text = host_.StatusText();
    // The message stays the link's own; how to get access comes as a hint.
    if (host_.StatusKind() == FailureKind::PermissionDenied) throw BoxError(ExitDeviceFailed, text, PermissionAdvice(io_.PortName()));
    throw BoxError(ExitDeviceFailed, text.empty() ? fallback : text);
}

void BoxSession::ThrowIfInterrupted() const {
    if (const int sig = stop_.Signal()) throw BoxError(128 + sig, "Interrupted");
}

SchedulerState BoxSession::SearchLoop() {
    schedulerState_ = SchedulerState::Search;
    Connection::StepResult step = connection_.Step(port_);
    while (schedulerState_ == SchedulerState::Search) {
        if (!stop_.SleepUnlessStopped(*step.NextStepMs)) ThrowIfInterrupted();
        step = connection_.Step(port_);
    }
    ThrowIfInterrupted();
    if (!Found(schedulerState_)) Fail(LinkText::NotFound);
    return schedulerState_;
}

SchedulerState BoxSession::SearchBySerial() {
    std::vector<std::string> ports;
    try {
        ports = ListedPortsInOrder();
    } catch (const EFailure& e) {
        throw BoxError(ExitDeviceFailed, e.Message());
    }
    for (const auto& port : ports) {
        ThrowIfInterrupted();
        const SchedulerState s = io_.FindSimulator(port, true);
        if (Found(s) && state_.SerialNumber() == target_.Serial) {
            port_ = port;
            return s;  // the port stays open, as after any successful search
        }
        io_.ClosePort();
    }
    ThrowIfInterrupted();
    throw BoxError(ExitDeviceFailed, "No KARNOL simulator with serial number " + target_.Serial + " found");
}

SchedulerState BoxSession::Search() {
    if (foundAhead_) return *std::exchange(foundAhead_, std::nullopt);
    events_.Searching();
    SchedulerState s;
    if (!target_.Serial.empty()) {
        s = SearchBySerial();
    } else {
        connection_.Restart();
        s = SearchLoop();
    }
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

SchedulerState BoxSession::SearchAhead() {
    foundAhead_ = Search();
    return *foundAhead_;
}

SchedulerState BoxSession::SearchAgain() {
    events_.Searching();
    connection_.Restart(SchedulerState::Search, FirmwareUpdate::SearchAttemptsAfterUpdate);
    const SchedulerState s = SearchLoop();
    updateDue_ = s == SchedulerState::AutoUpdate;
    return s;
}

void BoxSession::ReadConfiguration() {
    schedulerState_ = SchedulerState::ReadConfiguration;
    // The step clears the status text after the configuration read, failed
    // or not; a failure's own text is kept for the error message.
    Connection::StepResult step;
    const std::string failure = FirstFailure([&] { step = connection_.Step(port_); });
    ThrowIfInterrupted();
    if (!step.Connected) Fail(LinkText::StatusFailed);
    if (schedulerState_ != SchedulerState::Polling)
        throw BoxError(ExitDeviceFailed, failure.empty() ? LinkText::ConfigFailed : failure);
}

void BoxSession::Connect() {
    Search();
    ThrowIfInterrupted();
    if (updateDue_ && target_.NoteUpdateDue) {
        events_.Note("Note: the simulator's firmware " + state_.InstalledVersionText() + " differs from the carried " +
                     image_.VersionLabel() + "; 'update-firmware' updates it.");
    }
    ReadConfiguration();
}

std::string BoxSession::FirstFailure(const std::function<void()>& action) {
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

bool BoxSession::Poll() {
    schedulerState_ = SchedulerState::Polling;
    connection_.Step(port_);
    return host_.StatusText().empty();
}

BoxSession::Probe BoxSession::ProbePort(const std::string& port) {
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
