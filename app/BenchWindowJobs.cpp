// The bench window's jobs: each takes the ports it runs on when it starts,
// after its questions, and finds their rows again by port whenever it
// reports.
#include "BenchWindow.h"

#include "BenchWindowRow.h"
#include "FileNameText.h"
#include "WindowLook.h"

#include "jobs/SetupFileJobs.h"
#include "link/BoxError.h"
#include "storage/CfgFile.h"

#include <QLabel>

#include <csignal>

void TBenchWindow::ApplyClick() {
    const QString path = dialogs_.ApplyFile(*this);
    if (path.isEmpty()) return;
    // A bad file refuses the job before any box is asked.
    CfgValues values;
    try {
        CfgFile file;
        values = OpenSetupFile(file, FileNameBytes(path));
    } catch (const std::exception& failure) {
        dialogs_.Refused(*this, FileNameText(failure.what()));
        return;
    }
    RunJob(QStringLiteral("Apply set-up"), Selected(), {}, [values](BoxSession& session, std::string&) {
        session.Connect();
        ApplySetupFile(session, values);
        return static_cast<int>(ExitOk);
    });
}

void TBenchWindow::SaveClick() {
    const QString pattern = dialogs_.SavePattern(*this);
    if (pattern.isEmpty()) return;
    const std::string typed = FileNameBytes(pattern);
    const std::vector<std::string> ports = Selected();
    // Several boxes in one file would leave only the last one's: refused
    // before any box is asked.
    if (const std::string problem = SaveNameProblem(typed, ports.size()); !problem.empty()) {
        dialogs_.Refused(*this, Latin1(problem));
        return;
    }
    RunJob(QStringLiteral("Save"), ports, {}, [typed](BoxSession& session, std::string&) {
        session.Connect();
        (void)SaveBoxSetup(session, typed);
        return static_cast<int>(ExitOk);
    });
}

void TBenchWindow::UpdateClick(bool forced) {
    std::vector<std::string> ports = Selected();
    if (!forced) {
        std::erase_if(ports, [this](const std::string& port) {
            const Row* r = RowOf(port);
            return !(r->View.Known && r->View.UpdateDue);
        });
        if (ports.empty()) {
            summary_->setText(QStringLiteral("Every box chosen has the carried firmware %1").arg(Latin1(image_.VersionLabel())));
            return;
        }
    } else {
        if (ports.empty() || !dialogs_.ConfirmForcedUpdate(*this, static_cast<int>(ports.size()))) return;
        // While the question was open, a row may have gone or been lent.
        std::erase_if(ports, [this](const std::string& port) {
            const Row* r = RowOf(port);
            return !r || r->InMain || r->InJob;
        });
        if (ports.empty()) {
            summary_->setText(QStringLiteral("Force update: none of the boxes chosen is on the bench any longer"));
            return;
        }
    }
    BenchRequest request;
    request.PromptOnce = forced;
    const UpdateMode mode = forced ? UpdateMode::ResetButton : UpdateMode::IfNeeded;
    RunJob(forced ? QStringLiteral("Forced update") : QStringLiteral("Update firmware"), ports, request,
           [mode](BoxSession& session, std::string&) {
               (void)UpdateBox(session, mode);
               return static_cast<int>(ExitOk);
           });
}

void TBenchWindow::RunJob(const QString& what, const std::vector<std::string>& ports, BenchRequest request, BoxJob job) {
    if (Busy() || closing_) return;
    // The rows' monitors stay while the job runs: a row with a job is never
    // removed.
    std::vector<BoxMonitor*> monitors;
    for (const auto& port : ports) {
        Row* row = RowOf(port);
        if (!row || row->InJob || row->InMain) continue;
        row->InJob = true;
        row->Busy = QStringLiteral("waiting");
        row->LastJob.clear();
        Show(*row);
        monitors.push_back(row->Monitor.get());
        request.Ports.push_back(row->Port);
    }
    if (monitors.empty()) return;
    jobStop_.Reset();
    summary_->setText(QStringLiteral("%1: %2 box(es) at work").arg(what).arg(monitors.size()));
    // The reports cross over to the window thread.
    BenchJobReports reports;
    reports.Progress = [this](const std::string& port, const QString& busy) {
        Post([this, port, busy] { JobProgress(port, busy); });
    };
    reports.Finished = [this](const std::string& port, bool ok, const QString& failure) {
        Post([this, port, ok, failure] { JobFinished(port, ok, failure); });
    };
    reports.Line = [this](const QString& line) { Post([this, line] { summary_->setText(line); }); };
    auto observer = std::make_shared<BenchJobObserver>(std::move(reports));
    const SessionMaker make = [this](const std::string& port, BoxEvents& events) {
        return std::make_unique<BoxSession>(BoxTarget{port, "", false, true}, image_, events, jobStop_);
    };
    job_ = std::thread([this, what, monitors, request, job, observer, make] {
        // The monitors let go of their ports first, all at once.
        for (BoxMonitor* m : monitors) m->Release();
        for (BoxMonitor* m : monitors) m->WaitReleased();
        QString summary;
        try {
            const std::vector<BoxResult> results = RunOnEveryBox(request, *observer, make, job, jobStop_);
            int failed = 0;
            QString first;
            for (const BoxResult& r : results) {
                if (r.Status == 0) continue;
                if (failed++ == 0) first = Latin1(r.Port + ": " + r.Error);
            }
            summary = failed == 0 ? QStringLiteral("%1: done on %2 box(es)").arg(what).arg(results.size())
                                  : QStringLiteral("%1: %2 of %3 box(es) failed (%4)")
                                        .arg(what)
                                        .arg(failed)
                                        .arg(results.size())
                                        .arg(first);
        } catch (const std::exception& e) {
            summary = what + QStringLiteral(": ") + Latin1(e.what());
        }
        // Closing the window ends the monitors next, after a Cancel too: no
        // search, and no remote mode, to begin now.
        if (!closing_)
            for (BoxMonitor* m : monitors) m->Resume();
        Post([this, summary] { JobEnded(summary); });
    });
    EnableActions();
}

void TBenchWindow::JobProgress(const std::string& port, const QString& busy) {
    if (Row* row = RowOf(port)) {
        row->Busy = busy;
        Show(*row);
    }
}

void TBenchWindow::JobFinished(const std::string& port, bool ok, const QString& failure) {
    if (Row* row = RowOf(port)) {
        row->Busy.clear();
        row->LastJob = ok ? QStringLiteral("done") : QStringLiteral("failed: ") + failure;
        Show(*row);
    }
}

void TBenchWindow::JobEnded(const QString& summary) {
    job_.join();
    for (auto& row : rows_) {
        if (!row->InJob) continue;
        row->InJob = false;
        row->Busy.clear();
        Show(*row);
    }
    summary_->setText(summary);
    EnableActions();
    if (closing_) close();
}
