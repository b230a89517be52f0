#include "BenchProgress.h"

#include "TerminalText.h"

#include "link/FirmwareImage.h"
#include "link/PortChoice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

// Ten redraws a second at most: smooth enough to follow, and no more
// output than a slow terminal (a serial console, a remote session) takes.
constexpr std::chrono::milliseconds RedrawInterval{100};
constexpr int BarWidth = 20;
// A row longer than the terminal would wrap and break the redraw.
constexpr std::size_t RowLimit = 79;

const char* PhaseText(BenchProgress::Phase phase) {
    switch (phase) {
    case BenchProgress::Phase::Waiting: return "waiting";
    case BenchProgress::Phase::Searching: return "searching";
    case BenchProgress::Phase::ResetPrompt: return "waiting for the reset button";
    case BenchProgress::Phase::StartingBootLoader: return "starting the boot loader";
    case BenchProgress::Phase::Transferring: return "transferring";
    case BenchProgress::Phase::Step: return "step";
    case BenchProgress::Phase::Done: return "done";
    case BenchProgress::Phase::Failed: return "failed";
    }
    return "";
}

}  // namespace

// One box's state and its session's events. Every call comes from the box's
// own thread and takes the progress's mutex.
class BenchProgress::Row : public BoxEvents, public IUpdateView {
public:
    Row(BenchProgress& owner, std::string port) : owner_(owner), Port(std::move(port)) {}

    void Note(const std::string& line) override { owner_.Note(*this, line); }
    void Verbose(const std::string& text) override {
        if (!text.empty()) owner_.Note(*this, text);
    }
    void Searching() override { Enter(Phase::Searching); }
    void StepStarted(int number, int count, const std::string& name) override {
        std::lock_guard lock(owner_.mutex_);
        phase = Phase::Step;
        page = number;
        pages = count;
        detail = name;
        owner_.Changed(*this, true);
    }
    IUpdateView& UpdateView() override { return *this; }
    void UpdateEnded() override {}

    void ShowLayout(const UpdateLayout& layout) override {
        std::lock_guard lock(owner_.mutex_);
        if (layout.ResetPrompt) {
            EnterLocked(Phase::ResetPrompt);
        } else if (phase != Phase::Transferring) {
            EnterLocked(Phase::StartingBootLoader);
        }
    }
    void SetProgress(int position, int maximum) override {
        if (position <= 0 || maximum <= 0) return;
        std::lock_guard lock(owner_.mutex_);
        page = std::min(position, maximum) / TransferPageSize;
        pages = maximum / TransferPageSize;
        if (phase != Phase::Transferring) {
            EnterLocked(Phase::Transferring);
        } else {
            owner_.Changed(*this, false);
        }
    }

    void Enter(Phase next) {
        std::lock_guard lock(owner_.mutex_);
        EnterLocked(next);
    }
    void EnterLocked(Phase next) {
        if (phase == next) return;
        phase = next;
        detail.clear();
        owner_.Changed(*this, true);
    }

    BenchProgress& owner_;
    const std::string Port;
    Phase phase = Phase::Waiting;
    int page = 0;
    int pages = 0;
    std::string detail;
};

BenchProgress::BenchProgress(std::FILE* out, bool redraw, bool phases) : out_(out), redraw_(redraw), phases_(phases) {}

BenchProgress::~BenchProgress() { Stop(); }

BoxEvents& BenchProgress::AddBox(const std::string& port) {
    std::lock_guard lock(mutex_);
    rows_.push_back(std::make_unique<Row>(*this, port));
    return *rows_.back();
}

void BenchProgress::Start() {
    std::lock_guard lock(mutex_);
    started_ = true;
    if (phases_ && redraw_) drawer_ = std::thread([this] { DrawLoop(); });
}

void BenchProgress::Show(std::size_t row) {
    std::lock_guard lock(mutex_);
    Row* r = rows_.at(row).get();
    if (std::find(shown_.begin(), shown_.end(), r) != shown_.end()) return;
    shown_.push_back(r);
    std::stable_sort(shown_.begin(), shown_.end(),
                     [](const Row* a, const Row* b) { return PortBefore(a->Port, b->Port); });
    // A line appears with the row's next phase; a drawn row at the next frame.
    dirty_ = true;
}

void BenchProgress::Line(const std::string& text) {
    std::lock_guard lock(mutex_);
    if (redraw_ && drawnLines_ > 0) {
        // Above the rows: the rows move down by one and are drawn anew.
        Write("\x1b[" + std::to_string(drawnLines_) + "A\r" + ForTerminal(text) + "\x1b[J\n");
        drawnLines_ = 0;
        dirty_ = true;
    } else {
        Write(ForTerminal(text) + "\n");
    }
}

void BenchProgress::Finished(std::size_t row, bool ok, const std::string& failure) {
    std::lock_guard lock(mutex_);
    Row& r = *rows_.at(row);
    if (r.phase == Phase::Step) r.pages = 0;  // a plan's steps draw no bar
    r.phase = ok ? Phase::Done : Phase::Failed;
    r.detail = ok ? "" : failure;
    Changed(r, true);
}

void BenchProgress::Stop() {
    {
        std::lock_guard lock(mutex_);
        if (stop_) return;
        stop_ = true;
    }
    wake_.notify_all();
    if (drawer_.joinable()) drawer_.join();
}

std::string BenchProgress::RowText(const std::string& port, Phase phase, int page, int pages,
                                   const std::string& detail) {
    std::string text = port + "  ";
    if (pages > 0 && (phase == Phase::Transferring || phase == Phase::Done)) {
        const int filled = page * BarWidth / pages;
        text += "[" + std::string(static_cast<std::size_t>(filled), '#') +
                std::string(static_cast<std::size_t>(BarWidth - filled), '.') + "] ";
    }
    if (phase == Phase::Step) return text + "step " + std::to_string(page) + " of " + std::to_string(pages) + ": " + detail;
    text += PhaseText(phase);
    if (phase == Phase::Transferring) text += " page " + std::to_string(page) + " of " + std::to_string(pages);
    if (!detail.empty()) text += (phase == Phase::Failed ? ": " : "; ") + detail;
    return text;
}

void BenchProgress::Changed(Row& row, bool phaseChanged) {
    if (!started_ || !phases_ || std::find(shown_.begin(), shown_.end(), &row) == shown_.end()) return;
    if (redraw_) {
        dirty_ = true;
        return;
    }
    if (!phaseChanged) return;
    // One line per phase; the page count once, with the phase.
    std::string line = row.Port + ": " + PhaseText(row.phase);
    if (row.phase == Phase::Transferring) line += " " + std::to_string(row.pages) + " pages";
    if (row.phase == Phase::Step)
        line += " " + std::to_string(row.page) + " of " + std::to_string(row.pages) + ": " + ForTerminal(row.detail);
    if (row.phase == Phase::Failed && !row.detail.empty()) line += ": " + ForTerminal(row.detail);
    Write(line + "\n");
}

void BenchProgress::Note(Row& row, const std::string& text) {
    std::lock_guard lock(mutex_);
    if (redraw_ && drawer_.joinable() && std::find(shown_.begin(), shown_.end(), &row) != shown_.end()) {
        row.detail = text;
        dirty_ = true;
        return;
    }
    Write(row.Port + ": " + ForTerminal(text) + "\n");
}

void BenchProgress::Write(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fflush(out_);
}

void BenchProgress::Draw() {
    // The whole frame in one write, each row overwritten and then cleared to
    // its end, so that nothing is blank between two frames (no flicker).
    std::string frame;
    if (drawnLines_ > 0) frame += "\x1b[" + std::to_string(drawnLines_) + "A";
    for (const Row* row : shown_) {
        std::string text = ForTerminal(RowText(row->Port, row->phase, row->page, row->pages, row->detail));
        if (text.size() > RowLimit) text.resize(RowLimit);
        frame += "\r" + text + "\x1b[K\n";
    }
    drawnLines_ = shown_.size();
    dirty_ = false;
    Write(frame);
}

void BenchProgress::DrawLoop() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        if (dirty_) Draw();
        // Only the end wakes the drawer early; changes wait for the next tick.
        wake_.wait_for(lock, RedrawInterval, [this] { return stop_; });
    }
    Draw();
}
