#pragma once
// The main window's connection scheduler: Timer1 and the steps it drives.
// Each tick switches the timer off, runs one step of the connection's state
// machine (or the update window, or the update-failure message) and switches
// it on again with the next interval, so that no step overlaps another.
//
// Re-entrancy: every call into the link runs inside one exchange (see
// Exchange). While it runs, pending messages are processed without user
// input, so the window stays painted but a click or a key waits until the
// exchange is over; a tick that finds an exchange running re-arms itself
// instead of starting a second one. Two exchanges never interleave on the wire.

#include "link/Connection.h"
#include "link/SchedulerState.h"

#include <QTimer>

#include <functional>
#include <memory>
#include <string>

class TComIo;

// What the steps need of the window they run in.
class StepHost {
public:
    // An image to offer and the window not closed.
    virtual bool MayStep() const = 0;
    virtual void ShowConnected(bool connected) = 0;
    virtual void OfferForcedUpdate() = 0;
    // The port a search opens.
    virtual std::string PortName() const = 0;
    // Runs the update window; Search, Stopped or UpdateFailed.
    virtual SchedulerState RunUpdate(SchedulerState kind) = 0;
    // The failure message; the program ends after it.
    virtual void ShowUpdateFailed() = 0;

protected:
    ~StepHost() = default;
};

class StepDriver {
public:
    explicit StepDriver(StepHost& host);
    ~StepDriver();
    StepDriver(const StepDriver&) = delete;
    StepDriver& operator=(const StepDriver&) = delete;

    // The link the steps drive; null forgets it (before it is destroyed).
    void Attach(TComIo* link);

    // The first show: a new search, its first step Connection::FirstStepDelay later.
    void Start();
    // Reload data, a new port, Force bios update: a new search (or the
    // forced update) at once.
    void Restart(SchedulerState from);
    // One tick of Timer1.
    void Scheduler();

    SchedulerState State() const { return state_; }
    void SetState(SchedulerState state) { state_ = state; }
    QTimer& Timer1() { return timer1_; }

    // Marks one call into the link. Nested marks count; when the outermost
    // ends, OnExchangeEnded runs (a close that arrived meanwhile follows).
    class Exchange {
    public:
        explicit Exchange(StepDriver& driver) : driver_(driver) { ++driver_.exchangeDepth_; }
        ~Exchange() {
            if (--driver_.exchangeDepth_ == 0 && driver_.OnExchangeEnded) driver_.OnExchangeEnded();
        }
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;

    private:
        StepDriver& driver_;
    };
    bool ExchangeRunning() const { return exchangeDepth_ > 0; }
    std::function<void()> OnExchangeEnded;

private:
    StepHost& host_;
    QTimer timer1_;
    SchedulerState state_ = SchedulerState::Search;
    std::unique_ptr<Connection> connection_;  // while a link is attached
    int exchangeDepth_ = 0;
};
