#include "StepDriver.h"

#include "link/FirmwareUpdate.h"

StepDriver::StepDriver(StepHost& host) : host_(host) {
    timer1_.setObjectName(QStringLiteral("Timer1"));
    // A coarse timer may fire up to 5 % early; no step may start before its
    // interval is over (the simulator is polled no faster than once a second).
    timer1_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer1_, &QTimer::timeout, &timer1_, [this] { Scheduler(); });
}

StepDriver::~StepDriver() = default;

void StepDriver::Attach(TComIo* link) {
    connection_.reset();
    if (link) connection_ = std::make_unique<Connection>(*link, state_);
}

void StepDriver::Start() {
    if (connection_) connection_->Restart();
    state_ = SchedulerState::Search;
    timer1_.setInterval(Connection::FirstStepDelay);
    timer1_.start();
}

void StepDriver::Restart(SchedulerState from) {
    state_ = from;
    if (connection_) connection_->Restart(from);
    Scheduler();
}

void StepDriver::Scheduler() {
    if (ExchangeRunning()) {
        // A tick during another exchange (a protocol change leaves the timer
        // running): try again shortly instead of talking in between.
        timer1_.start(Connection::StepInterval);
        return;
    }
    timer1_.stop();
    timer1_.setInterval(Connection::StepInterval);
    if (!host_.MayStep() || !connection_) return;

    switch (state_) {
    case SchedulerState::Search:
    case SchedulerState::Stopped:
    case SchedulerState::ReadConfiguration:
    case SchedulerState::Polling: {
        const SchedulerState from = state_;
        if (from == SchedulerState::Search) host_.ShowConnected(false);
        if (from == SchedulerState::Stopped) host_.OfferForcedUpdate();
        Connection::StepResult step;
        {
            Exchange exchange(*this);
            step = connection_->Step(host_.PortName());
        }
        if (step.Connected) host_.ShowConnected(true);
        if (step.NextStepMs) timer1_.start(*step.NextStepMs);
        break;
    }
    case SchedulerState::AutoUpdate:
    case SchedulerState::ForcedUpdate: {
        host_.ShowConnected(false);
        {
            Exchange exchange(*this);
            state_ = host_.RunUpdate(state_);
        }
        // The simulator restarts with its new firmware: more attempts.
        if (state_ == SchedulerState::Search)
            connection_->Restart(SchedulerState::Search, FirmwareUpdate::SearchAttemptsAfterUpdate);
        timer1_.start();
        break;
    }
    case SchedulerState::UpdateFailed:
        host_.ShowUpdateFailed();
        break;
    }
}
