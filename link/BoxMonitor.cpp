#include "BoxMonitor.h"

#include "BoxError.h"
#include "Connection.h"

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

BoxView::Kind KindAfterFailedSearch(FailureKind failure) {
    switch (failure) {
    case FailureKind::NoDevice:
    case FailureKind::LineGone:
        return BoxView::Kind::Gone;
    case FailureKind::PermissionDenied:
    case FailureKind::InUse:
        return BoxView::Kind::Failed;
    case FailureKind::Other:
        break;
    }
    return BoxView::Kind::Silent;
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
    bool searched = false;
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
        if (!session) {
            session = std::make_unique<BoxSession>(BoxTarget{port_, "", false, false}, image_, events, *stop_);
            try {
                session->Connect();
                searched = true;
                Show(Seen(*session, BoxView::Kind::Ready));
                continue;
            } catch (const std::exception&) {
                if (stop_->Stopped()) continue;
            }
            BoxView view = shown_;
            view.State = KindAfterFailedSearch(session->Host().StatusKind());
            view.Failure = view.State == BoxView::Kind::Failed ? session->Host().StatusText() : std::string();
            session.reset();
            if (!searched && leaveAloneIfSilent_) {
                view.State = BoxView::Kind::LeftAlone;
                Show(view);
                return;
            }
            searched = true;
            Show(view);
            (void)stop_->SleepUnlessStopped(Connection::PollInterval);
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
    }
}
