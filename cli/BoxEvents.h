#pragma once
#include "link/LinkHost.h"

#include <memory>
#include <string>

// What one simulator's run tells the person watching, besides its result:
// notes, the link's progress texts under --verbose, and the firmware
// update's progress. A single run writes them to standard error as they
// come (StderrBoxEvents); a bench collects them per box and shows them
// together, so that eight boxes do not write over each other.
class BoxEvents {
public:
    virtual ~BoxEvents() = default;
    // A line for the person watching ("Note: ...", "Update done; ...").
    virtual void Note(const std::string& line) = 0;
    // A status text of the link, under --verbose.
    virtual void Verbose(const std::string& text) = 0;
    // The search for the simulator begins (again, after an update).
    virtual void Searching() {}
    // A test plan's step begins: number of count (from 1), its name.
    virtual void StepStarted(int number, int count, const std::string& name) {
        (void)number, (void)count, (void)name;
    }
    // The view of a firmware update that is about to begin, and its end.
    virtual IUpdateView& UpdateView() = 0;
    virtual void UpdateEnded() = 0;
};

class TerminalUpdateView;

// One simulator on standard error, as the command line has always shown it.
class StderrBoxEvents : public BoxEvents {
public:
    StderrBoxEvents();
    ~StderrBoxEvents() override;
    void Note(const std::string& line) override;
    void Verbose(const std::string& text) override;
    IUpdateView& UpdateView() override;
    void UpdateEnded() override;

private:
    std::unique_ptr<TerminalUpdateView> view_;
};
