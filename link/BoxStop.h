#pragma once

// What asks a box's run to stop early: SIGINT or SIGTERM to the command line,
// closing the bench window. A run finishes its current exchange first, then
// closes its port the ordinary way, so that the simulator leaves remote mode.
class BoxStop {
public:
    virtual ~BoxStop() = default;
    // The signal that asked to stop (SIGINT, SIGTERM), or 0.
    virtual int Signal() const = 0;
    bool Stopped() const { return Signal() != 0; }
    // Sleeps for ms milliseconds, or less when asked to stop meanwhile.
    // Returns false when it was cut short.
    virtual bool SleepUnlessStopped(int ms) = 0;
};
