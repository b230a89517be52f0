#include "StderrBoxEvents.h"

#include "TerminalUpdateView.h"

#include <cstdio>
#include <unistd.h>

StderrBoxEvents::StderrBoxEvents() = default;

StderrBoxEvents::~StderrBoxEvents() = default;

void StderrBoxEvents::Note(const std::string& line) {
    std::fprintf(stderr, "%s\n", line.c_str());
    std::fflush(stderr);
}

void StderrBoxEvents::Verbose(const std::string& text) {
    if (text.empty()) return;
    std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

IUpdateView& StderrBoxEvents::UpdateView() {
    view_ = std::make_unique<TerminalUpdateView>(stderr, isatty(STDERR_FILENO) != 0);
    return *view_;
}

void StderrBoxEvents::UpdateEnded() {
    if (view_) view_->Finish();
}
