#pragma once
#include "link/LinkHost.h"

#include <cstdio>
#include <string>

// The firmware update on standard error: the versions and the reset prompt as
// lines, the transfer as a bar redrawn in place on a terminal, or as plain
// lines at every tenth of the way when standard error is a file or a pipe.
class TerminalUpdateView : public IUpdateView {
public:
    explicit TerminalUpdateView(std::FILE* out, bool terminal);
    ~TerminalUpdateView() override;

    void ShowLayout(const UpdateLayout& layout) override;
    void SetProgress(int position, int maximum) override;

    // Ends a bar that is still drawn, so that what follows starts on a new line.
    void Finish();

    static constexpr const char* ResetPrompt = "Please press the simulators reset button";

private:
    std::FILE* out_;
    bool terminal_;
    bool promptShown_ = false;
    std::string installedShown_;
    std::string carriedShown_;
    int lastTenth_ = 0;  // lines at 10 %, 20 %, ... 100 %
    int lastPercent_ = -1;
    bool barOpen_ = false;
};
