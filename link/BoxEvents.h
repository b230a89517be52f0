#pragma once
#include "LinkHost.h"

#include <memory>
#include <string>

// What one simulator's run tells the person watching, besides its result:
// notes, the link's progress texts when asked for, and the firmware update's
// progress. A single run of the command line writes them to standard error as
// they come; a bench collects them per box and shows them together (rows on a
// terminal, or the bench window's rows), so that eight boxes do not write over
// each other.
class BoxEvents {
public:
    virtual ~BoxEvents() = default;
    // A line for the person watching ("Note: ...", "Update done; ...").
    virtual void Note(const std::string& line) = 0;
    // A status text of the link, when the run was asked to pass them on.
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
