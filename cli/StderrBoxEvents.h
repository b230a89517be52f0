#pragma once
#include "link/BoxEvents.h"

#include <memory>

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
