#include "TerminalHost.h"

#include <cstdio>

void TerminalHost::PanelInfo(const std::string& text) {
    statusText_ = text;
    if (verbose_ && !text.empty()) {
        std::fprintf(stderr, "%s\n", text.c_str());
        std::fflush(stderr);
    }
}
