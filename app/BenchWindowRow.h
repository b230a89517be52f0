#pragma once
// A row of the bench window: its box's monitor and what the row shows.

#include "BenchWindow.h"

struct TBenchWindow::Row {
    std::string Port;
    std::unique_ptr<BoxMonitor> Monitor;  // lives as long as the row; kept while a job runs on it
    BoxView View;
    QString Busy;     // a job's progress on the box; empty while none runs
    QString LastJob;  // the last job's result on the box ("done", or why it failed), until its next job
    bool InJob = false;
    bool InMain = false;            // the main window has the port
    bool OpenWhenReleased = false;  // ... as soon as the monitor has let go of it
    bool Listed = false;            // from the machine's port list: leaves with it unless it held a box
};
