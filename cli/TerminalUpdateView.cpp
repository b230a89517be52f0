#include "TerminalUpdateView.h"

TerminalUpdateView::TerminalUpdateView(std::FILE* out, bool terminal) : out_(out), terminal_(terminal) {}

TerminalUpdateView::~TerminalUpdateView() { Finish(); }

void TerminalUpdateView::ShowLayout(const UpdateLayout& layout) {
    // The link arranges the window more than once (at the start and again
    // when the boot loader answers); a terminal only needs what is new.
    if (layout.ResetPrompt && !promptShown_) {
        Finish();
        std::fprintf(out_, "%s\n", ResetPrompt);
        promptShown_ = true;
    }
    if (layout.ShowInstalled && layout.Installed != installedShown_) {
        Finish();
        std::fprintf(out_, "Installed version: %s\n", layout.Installed.c_str());
        installedShown_ = layout.Installed;
    }
    if (layout.Carried != carriedShown_) {
        Finish();
        std::fprintf(out_, "Update to version: %s\n", layout.Carried.c_str());
        carriedShown_ = layout.Carried;
    }
    std::fflush(out_);
}

void TerminalUpdateView::SetProgress(int position, int maximum) {
    if (maximum <= 0) return;
    if (position < 0) position = 0;
    if (position > maximum) position = maximum;
    const int percent = static_cast<int>(static_cast<long long>(position) * 100 / maximum);
    if (terminal_) {
        if (percent == lastPercent_) return;
        constexpr int width = 40;
        const int filled = percent * width / 100;
        std::fprintf(out_, "\rTransfer [%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(width - filled, '.').c_str(), percent);
        barOpen_ = true;
    } else {
        const int tenth = percent / 10;
        if (tenth <= lastTenth_) return;
        lastTenth_ = tenth;
        std::fprintf(out_, "Transfer %d%% (%d of %d bytes)\n", percent, position, maximum);
    }
    lastPercent_ = percent;
    std::fflush(out_);
}

void TerminalUpdateView::Finish() {
    if (barOpen_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        barOpen_ = false;
    }
}
