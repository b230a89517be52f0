#include "BoxMonitor.h"

#include "BoxError.h"
#include "Connection.h"
#include "PortChoice.h"

#include "serial/NetworkAddress.h"

#include <chrono>
#include <csignal>

namespace {

// A monitor reports through its views alone.
class QuietUpdateView : public IUpdateView {
public:
    void ShowLayout(const UpdateLayout&) override {}
    void SetProgress(int, int) override {}
};

class QuietEvents : public BoxEvents {
public:
    void Note(const std::string&) override {}
    void Verbose(const std::string&) override {}
    IUpdateView& UpdateView() override { return view_; }
    void UpdateEnded() override {}

private:
    QuietUpdateView view_;
};

// What a failed search says of the port, in the words of the failure's kind.
BoxView::Kind KindAfterFailedSearch(const std::string& port, const QuietHost& host) {
    switch (host.StatusKind()) {
    case FailureKind::NoDevice:
    case FailureKind::LineGone:
        // A server's address is never unplugged: it did not answer.
        return IsNetworkPortName(port) ? BoxView::Kind::NoAnswer : BoxView::Kind::Gone;
    case FailureKind::PermissionDenied:
        return BoxView::Kind::NoPermission;
    case FailureKind::InUse:
        return BoxView::Kind::InUse;
    case FailureKind::Other:
        break;
    }
    // The link's own checks (no reply) fail after the port has opened.
    return host.PortWasOpened() ? BoxView::Kind::Silent : BoxView::Kind::Failed;
}

}  // namespace

// Asked to stop while the port is to be let go of, or the monitor ends.
class BoxMonitor::Stop : public BoxStop {
public:
    explicit Stop(BoxMonitor& monitor) : monitor_(monitor) {}
    int Signal() const override {
        std::lock_guard lock(monitor_.mutex_);
        return Asked() ? SIGTERM : 0;
    }
    bool SleepUnlessStopped(int ms) override {
        std::unique_lock lock(monitor_.mutex_);
        return !monitor_.wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Asked(); });
    }

private:
    bool Asked() const { return monitor_.quit_ || monitor_.release_; }
    BoxMonitor& monitor_;
};

BoxMonitor::BoxMonitor(std::string port, FirmwareImage image, ViewChanged changed, bool leaveAloneIfSilent)
    : port_(std::move(port)), image_(std::move(image)), changed_(std::move(changed)),
      leaveAloneIfSilent_(leaveAloneIfSilent), stop_(std::make_unique<Stop>(*this)) {
    thread_ = std::thread([this] { Run(); });
}

BoxMonitor::~BoxMonitor() {
    Quit();
    thread_.join();
}

void BoxMonitor::Release() {
    std::lock_guard lock(mutex_);
    release_ = true;
    wake_.notify_all();
}

void BoxMonitor::WaitReleased() {
    std::unique_lock lock(mutex_);
    wake_.wait(lock, [this] { return released_ || quit_ || ended_; });
}

void BoxMonitor::Resume() {
    std::lock_guard lock(mutex_);
    release_ = false;
    wake_.notify_all();
}

void BoxMonitor::Quit() {
    std::lock_guard lock(mutex_);
    quit_ = true;
    wake_.notify_all();
}

void BoxMonitor::Show(const BoxView& view) {
    if (shownOnce_ && view == shown_) return;
    shown_ = view;
    shownOnce_ = true;
    changed_(view);
}

BoxView BoxMonitor::Seen(const BoxSession& session, BoxView::Kind kind) const {
    const SimulatorState& s = session.State();
    BoxView view;
    view.State = kind;
    view.Known = true;
    view.Serial = s.SerialNumber();
    view.Version = s.InstalledVersionText();
    view.Protocol = s.Protocol;
    view.Ecus = s.SecondEcu + 1;
    view.MilOn = s.MilOn;
    view.UpdateDue = session.UpdateDue();
    for (int ecu = 1; ecu <= 2; ++ecu) {
        for (int slot = 1; slot <= s.CodeCount(ecu) && slot <= DtcSlots; ++slot)
            view.Codes[ecu - 1].push_back(s.DtcWord(ecu, slot));
    }
    return view;
}

// Waits while the port is let go of. False when the monitor is to end.
bool BoxMonitor::Idle(std::unique_lock<std::mutex>& lock) {
    released_ = true;
    wake_.notify_all();
    BoxView view = shown_;
    view.State = BoxView::Kind::Released;
    lock.unlock();
    Show(view);
    lock.lock();
    wake_.wait(lock, [this] { return quit_ || !release_; });
    released_ = false;
    if (quit_) return false;
    view.State = BoxView::Kind::Searching;
    lock.unlock();
    Show(view);
    lock.lock();
    return true;
}

void BoxMonitor::Run() {
    struct Ended {
        BoxMonitor& monitor;
        ~Ended() {
            std::lock_guard lock(monitor.mutex_);
            monitor.ended_ = true;
            monitor.wake_.notify_all();
        }
    } ended{*this};
    QuietEvents events;
    std::unique_ptr<BoxSession> session;
    bool seen = false;  // a simulator has answered on the port
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (quit_ || release_) {
                lock.unlock();
                session.reset();  // remote mode left, port closed
                lock.lock();
                if (quit_ || !Idle(lock)) return;
                continue;
            }
        }
        try {
            if (!session) {
                if (!Search(session, events, seen)) return;
                continue;
            }
            if (!stop_->SleepUnlessStopped(Connection::PollInterval)) continue;
            const bool answered = session->Poll();
            if (stop_->Stopped()) continue;  // a read cut short says nothing of the box
            if (!session->Io().PortOpen()) {
                // The line has gone: searched for again from the next round on.
                session.reset();
                BoxView view = shown_;
                view.State = BoxView::Kind::Gone;
                Show(view);
                continue;
            }
            Show(Seen(*session, answered ? BoxView::Kind::Ready : BoxView::Kind::Silent));
        } catch (const std::exception& failure) {
            // Whatever went wrong, the row is not left dead: it says so and
            // the port is tried again after the pause.
            session.reset();
            BoxView view = shown_;
            view.State = BoxView::Kind::Failed;
            view.Failure = failure.what();
            Show(view);
            (void)stop_->SleepUnlessStopped(Connection::PollInterval);
        }
    }
}

// One search of the port. False when the port is to be left alone.
bool BoxMonitor::Search(std::unique_ptr<BoxSession>& session, BoxEvents& events, bool& seen) {
    session = std::make_unique<BoxSession>(BoxTarget{port_, "", false, false}, image_, events, *stop_);
    try {
        session->Connect();
        seen = true;
        Show(Seen(*session, BoxView::Kind::Ready));
        return true;
    } catch (const std::exception&) {
        if (stop_->Stopped()) {
            session.reset();
            return true;
        }
    }
    BoxView view = shown_;
    view.State = KindAfterFailedSearch(port_, session->Host());
    view.Failure.clear();
    if (view.State == BoxView::Kind::Failed) view.Failure = session->Host().StatusText();
    if (view.State == BoxView::Kind::NoPermission) view.Failure = PermissionAdvice(port_);
    session.reset();
    // Only a port on which nothing has ever answered, and nothing answers
    // now, is not a box; one that is busy or refused may well hold one, and
    // turns ready once it is free. A box once seen is searched for until it
    // returns.
    if (!seen && leaveAloneIfSilent_ && view.State == BoxView::Kind::Silent) {
        view.State = BoxView::Kind::LeftAlone;
        Show(view);
        return false;
    }
    Show(view);
    (void)stop_->SleepUnlessStopped(Connection::PollInterval);
    return true;
}
