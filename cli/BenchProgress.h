#pragma once
#include "link/BenchRun.h"
#include "link/BoxEvents.h"

#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a bench of simulators shows while it works, on standard error. Each
// box has a row of state, written by the box's own thread under one mutex.
// On a terminal that can redraw, one thread draws every row in place, at most
// ten times a second and only when something changed; otherwise every phase
// change is one line "PORT: phase". Notes and --verbose texts of a box are
// lines "PORT: text" (on a redrawn terminal: the row's last words).
class BenchProgress : public BenchObserver {
public:
    enum class Phase { Waiting, Searching, ResetPrompt, StartingBootLoader, Transferring, Step, Done, Failed };

    // redraw: draw rows in place; phases: show the phases at all (the
    // firmware update's and a test plan's steps; other commands show only
    // their notes).
    BenchProgress(std::FILE* out, bool redraw, bool phases);
    ~BenchProgress() override;  // Stop()
    BenchProgress(const BenchProgress&) = delete;
    BenchProgress& operator=(const BenchProgress&) = delete;

    // A row for the box on port; the events of its session. Rows are added
    // before Start, and stay valid as long as this object.
    BoxEvents& AddBox(const std::string& port) override;
    // Begins showing (on a terminal: starts the drawing thread).
    void Start() override;
    // Shows the row from now on, among the others in natural port order;
    // rows never shown belong to ports that were only searched.
    void Show(std::size_t row) override;
    // A line above the rows (the reset prompt, once for the whole bench).
    void Line(const std::string& text) override;
    // The box's run has ended.
    void Finished(std::size_t row, bool ok, const std::string& failure) override;
    // Draws the rows a last time and ends the drawing thread.
    void Stop() override;

    // The text of one row, for drawing (also what tests read). For a step,
    // page and pages are its number and the plan's count, detail its name.
    static std::string RowText(const std::string& port, Phase phase, int page, int pages, const std::string& detail);

private:
    class Row;
    friend class Row;
    void Changed(Row& row, bool phaseChanged);  // under mutex_
    void Note(Row& row, const std::string& text);
    void Draw();                                // under mutex_
    void Write(const std::string& text);        // under mutex_
    void DrawLoop();

    std::FILE* out_;
    bool redraw_;
    bool phases_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<std::unique_ptr<Row>> rows_;
    std::vector<Row*> shown_;
    std::size_t drawnLines_ = 0;
    bool dirty_ = false;
    bool started_ = false;
    bool stop_ = false;
    std::thread drawer_;
};
