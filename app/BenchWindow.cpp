#include "BenchWindow.h"

#include "BenchRowText.h"
#include "SystemBeep.h"
#include "WindowLook.h"

#include "link/BoxError.h"
#include "link/BusProtocol.h"
#include "link/FileNames.h"
#include "link/PortChoice.h"
#include "link/SetupActions.h"
#include "storage/CfgFile.h"

#include <QAction>
#include <QCloseEvent>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <csignal>

struct TBenchWindow::Row {
    std::string Port;
    std::unique_ptr<BoxMonitor> Monitor;
    BoxView View;
    QString Busy;     // a job's progress on the box; empty while none runs
    QString Failure;  // the last job's failure on the box, until its next job
    bool InJob = false;
    bool InMain = false;            // the main window has the port
    bool OpenWhenReleased = false;  // ... as soon as the monitor has let go of it
};


TBenchWindow::TBenchWindow(std::vector<std::string> ports, bool searchAll, FirmwareImage image, BenchDialogs dialogs)
    : dialogs_(std::move(dialogs)), image_(std::move(image)) {
    setObjectName(QStringLiteral("Bench"));
    setWindowTitle(QStringLiteral("KNSimTool bench"));
    BuildControls();
    for (auto& port : ports) {
        auto row = std::make_unique<Row>();
        row->Port = port;
        rows_.push_back(std::move(row));
    }
    SortRows();
    // The monitors start once every row is in place: their first views find it.
    for (auto& row : rows_) {
        const std::string port = row->Port;
        row->Monitor = std::make_unique<BoxMonitor>(
            port, image_,
            [this, port](const BoxView& view) {
                QMetaObject::invokeMethod(this, [this, port, view] { ViewChanged(port, view); }, Qt::QueuedConnection);
            },
            searchAll);
    }
    summary_->setText(rows_.empty() ? QStringLiteral("No serial port to search") : QString());
    EnableActions();
}

TBenchWindow::~TBenchWindow() {
    if (job_.joinable()) {
        jobStop_.Request(SIGTERM);
        job_.join();
    }
    // Every box lets go at once; each destructor then waits for its own.
    for (auto& row : rows_) row->Monitor->Quit();
    rows_.clear();
}

void TBenchWindow::BuildControls() {
    auto* tools = addToolBar(QStringLiteral("Bench"));
    tools->setObjectName(QStringLiteral("BenchTools"));
    tools->setMovable(false);
    auto action = [&](const char* name, const QString& text, const QString& tip) {
        QAction* a = tools->addAction(text);
        a->setObjectName(QLatin1String(name));
        a->setToolTip(tip);
        return a;
    };
    apply_ = action("BenchApply", QStringLiteral("Apply set-up..."),
                    QStringLiteral("Send a .kns set-up to the selected boxes (all when none is selected)"));
    save_ = action("BenchSave", QStringLiteral("Save..."),
                   QStringLiteral("Save each selected box to a file named from a pattern ({serial}, {port})"));
    update_ = action("BenchUpdate", QStringLiteral("Update firmware"),
                     QStringLiteral("Update the selected boxes whose firmware is not the carried %1")
                         .arg(Latin1(image_.VersionLabel())));
    forceUpdate_ = action("BenchForceUpdate", QStringLiteral("Force update..."),
                          QStringLiteral("Update the selected boxes through their reset buttons, whatever they hold"));
    tools->addSeparator();
    cancel_ = action("BenchCancel", QStringLiteral("Cancel"),
                     QStringLiteral("Stop the running job (a firmware transfer that has begun is finished)"));
    connect(apply_, &QAction::triggered, this, [this] { ApplyClick(); });
    connect(save_, &QAction::triggered, this, [this] { SaveClick(); });
    connect(update_, &QAction::triggered, this, [this] { UpdateClick(false); });
    connect(forceUpdate_, &QAction::triggered, this, [this] { UpdateClick(true); });
    connect(cancel_, &QAction::triggered, this, [this] { jobStop_.Request(SIGINT); });

    table_ = new QTableWidget(0, ColCount, this);
    table_->setObjectName(QStringLiteral("BenchRows"));
    table_->setAccessibleName(QStringLiteral("Simulators"));
    QStringList titles;
    static_assert(BenchColumnTitles.size() == ColCount);
    for (const char* title : BenchColumnTitles) titles << QLatin1String(title);
    table_->setHorizontalHeaderLabels(titles);
    table_->verticalHeader()->setVisible(false);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setStretchLastSection(true);
    table_->setWordWrap(false);
    table_->setToolTip(QStringLiteral("Double-click a box to open it in the main window"));
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) { OpenMainOn(row); });
    setCentralWidget(table_);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("BenchSummary"));
    statusBar()->addWidget(summary_, 1);
    resize(980, 360);
}

TBenchWindow::Row* TBenchWindow::RowOf(const std::string& port) {
    for (auto& row : rows_)
        if (row->Port == port) return row.get();
    return nullptr;
}

void TBenchWindow::SortRows() {
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return PortBefore(a->Port, b->Port); });
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (const auto& row : rows_) Show(*row);
}

void TBenchWindow::Show(const Row& row) {
    const auto at = std::find_if(rows_.begin(), rows_.end(), [&row](const auto& r) { return r.get() == &row; });
    const int index = static_cast<int>(at - rows_.begin());
    const BoxView& v = row.View;
    QString state;
    if (!row.Busy.isEmpty()) {
        state = row.Busy;
    } else if (row.InMain) {
        state = QStringLiteral("open in the main window");
    } else if (!row.Failure.isEmpty()) {
        state = QStringLiteral("failed: ") + row.Failure;
    } else {
        state = StateText(v);
    }
    const QString cells[ColCount] = {
        Latin1(row.Port),
        v.Known ? Latin1(v.Serial) : QString(),
        v.Known ? Latin1(v.Version) : QString(),
        v.Known && v.Protocol >= 1 && v.Protocol <= 9 ? QLatin1String(ProtocolNames[v.Protocol - 1]) : QString(),
        v.Known ? QString::number(v.Ecus) : QString(),
        v.Known ? (v.MilOn ? QStringLiteral("on") : QStringLiteral("off")) : QString(),
        v.Known ? CodesText(v.Codes[0]) : QString(),
        v.Known && v.Ecus == 2 ? CodesText(v.Codes[1]) : QString(),
        state,
    };
    bool changed = false;
    for (int c = 0; c < ColCount; ++c) {
        QTableWidgetItem* item = table_->item(index, c);
        if (!item) {
            item = new QTableWidgetItem;
            table_->setItem(index, c, item);
        }
        if (item->text() == cells[c]) continue;
        item->setText(cells[c]);
        changed = true;
    }
    // Most polls change nothing: the columns are fitted only when a text did,
    // and at most a few times a second, since eight boxes' progress would
    // otherwise measure every cell hundreds of times a second.
    if (changed && !fitPending_) {
        fitPending_ = true;
        QTimer::singleShot(FitDelayMs, this, [this] {
            fitPending_ = false;
            table_->resizeColumnsToContents();
        });
    }
}

void TBenchWindow::ViewChanged(const std::string& port, const BoxView& view) {
    Row* row = RowOf(port);
    if (!row) return;
    if (view.State == BoxView::Kind::LeftAlone) {
        if (row->InJob) return;  // removed once the job has ended
        const auto at = std::find_if(rows_.begin(), rows_.end(), [row](const auto& r) { return r.get() == row; });
        table_->removeRow(static_cast<int>(at - rows_.begin()));
        rows_.erase(at);
        if (rows_.empty()) summary_->setText(QStringLiteral("No KARNOL simulator answered on any port"));
        return;
    }
    row->View = view;
    if (view.State == BoxView::Kind::Released && row->OpenWhenReleased) {
        row->OpenWhenReleased = false;
        dialogs_.OpenMain(port, [window = QPointer<TBenchWindow>(this), port] {
            if (!window) return;  // the bench has closed meanwhile
            Row* r = window->RowOf(port);
            if (!r) return;
            r->InMain = false;
            r->Monitor->Resume();
            window->Show(*r);
            window->EnableActions();
        });
    }
    Show(*row);
}

std::vector<TBenchWindow::Row*> TBenchWindow::Selected() {
    std::vector<Row*> chosen;
    const QModelIndexList picked = table_->selectionModel()->selectedRows();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const bool isPicked = std::any_of(picked.begin(), picked.end(),
                                          [i](const QModelIndex& m) { return m.row() == static_cast<int>(i); });
        if ((picked.isEmpty() || isPicked) && !rows_[i]->InMain) chosen.push_back(rows_[i].get());
    }
    return chosen;
}

void TBenchWindow::EnableActions() {
    const bool idle = !Busy() && !closeAfterJob_;
    for (QAction* a : {apply_, save_, update_, forceUpdate_}) a->setEnabled(idle && !rows_.empty());
    cancel_->setEnabled(Busy() && !closeAfterJob_);
}

void TBenchWindow::ApplyClick() {
    const QString path = dialogs_.ApplyFile(*this);
    if (path.isEmpty()) return;
    // A bad file refuses the job before any box is asked.
    CfgValues values;
    try {
        CfgFile file;
        values = file.Open(ConfigurationFileName(QFile::encodeName(path).toStdString()));
    } catch (const std::exception& failure) {
        dialogs_.Refused(*this, QString::fromLocal8Bit(failure.what()));
        return;
    }
    RunJob(QStringLiteral("Apply set-up"), Selected(), {}, [values](BoxSession& session, std::string&) {
        session.Connect();
        ApplyOnBox(session, values.Protocol, values.EcuCount, [&values](const CfgSetup& held) {
            CfgSetup setup = held;  // the file laid over what the box holds
            ApplyValues(values, setup);
            return setup;
        });
        return static_cast<int>(ExitOk);
    });
}

void TBenchWindow::SaveClick() {
    const QString pattern = dialogs_.SavePattern(*this);
    if (pattern.isEmpty()) return;
    const std::string typed = QFile::encodeName(pattern).toStdString();
    RunJob(QStringLiteral("Save"), Selected(), {}, [typed](BoxSession& session, std::string&) {
        session.Connect();
        // The name is known only now: it may hold the box's serial number.
        const std::string name =
            ConfigurationFileName(BoxFileName(typed, session.State().SerialNumber(), session.PortName()));
        try {
            CfgFile file;
            file.Save(name, SetupFromState(session.State()), session.Image().VersionWord());
        } catch (const EFailure& e) {
            throw BoxError(ExitFileFailed, e.Message());
        }
        return static_cast<int>(ExitOk);
    });
}

void TBenchWindow::UpdateClick(bool forced) {
    std::vector<Row*> rows = Selected();
    if (!forced) {
        std::erase_if(rows, [](const Row* r) { return !(r->View.Known && r->View.UpdateDue); });
        if (rows.empty()) {
            summary_->setText(QStringLiteral("Every box chosen has the carried firmware %1").arg(Latin1(image_.VersionLabel())));
            return;
        }
    } else if (rows.empty() || !dialogs_.ConfirmForcedUpdate(*this, static_cast<int>(rows.size()))) {
        return;
    }
    BenchRequest request;
    request.PromptOnce = forced;
    const UpdateMode mode = forced ? UpdateMode::ResetButton : UpdateMode::IfNeeded;
    RunJob(forced ? QStringLiteral("Forced update") : QStringLiteral("Update firmware"), rows, request,
           [mode](BoxSession& session, std::string&) {
               (void)UpdateBox(session, mode);
               return static_cast<int>(ExitOk);
           });
}

void TBenchWindow::RunJob(const QString& what, std::vector<Row*> rows, BenchRequest request, BoxJob job) {
    if (rows.empty() || Busy()) return;
    std::vector<BoxMonitor*> monitors;
    for (Row* row : rows) {
        row->InJob = true;
        row->Busy = QStringLiteral("waiting");
        row->Failure.clear();
        Show(*row);
        monitors.push_back(row->Monitor.get());
        request.Ports.push_back(row->Port);
    }
    jobStop_.Reset();
    summary_->setText(QStringLiteral("%1: %2 box(es) at work").arg(what).arg(rows.size()));
    // The reports cross over to the window thread; queued calls die with the window.
    BenchJobReports reports;
    reports.Progress = [this](const std::string& port, const QString& busy) {
        QMetaObject::invokeMethod(this, [this, port, busy] { JobProgress(port, busy); }, Qt::QueuedConnection);
    };
    reports.Finished = [this](const std::string& port, bool ok, const QString& failure) {
        QMetaObject::invokeMethod(this, [this, port, ok, failure] { JobFinished(port, ok, failure); },
                                  Qt::QueuedConnection);
    };
    reports.Line = [this](const QString& line) {
        QMetaObject::invokeMethod(this, [this, line] { summary_->setText(line); }, Qt::QueuedConnection);
    };
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
        // Closing the window ends the monitors next: no search to begin now.
        if (jobStop_.Signal() != SIGTERM)
            for (BoxMonitor* m : monitors) m->Resume();
        QMetaObject::invokeMethod(this, [this, summary] { JobEnded(summary); }, Qt::QueuedConnection);
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
        row->Failure = ok ? QString() : failure;
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
    if (closeAfterJob_) close();
}

void TBenchWindow::OpenMainOn(int tableRow) {
    if (tableRow < 0 || tableRow >= static_cast<int>(rows_.size())) return;
    Row& row = *rows_[static_cast<std::size_t>(tableRow)];
    if (row.InJob || row.InMain) {
        ErrorBeep();
        return;
    }
    row.InMain = true;
    row.OpenWhenReleased = true;
    row.Monitor->Release();
    Show(row);
    EnableActions();
}

void TBenchWindow::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        // A transfer that has begun must end, or the box is left without
        // firmware; everything else stops at its next exchange.
        jobStop_.Request(SIGTERM);
        closeAfterJob_ = true;
        summary_->setText(QStringLiteral("Closing once the running job has stopped"));
        EnableActions();
        event->ignore();
        return;
    }
    for (auto& row : rows_) row->Monitor->Quit();
    rows_.clear();  // remote mode left and every port closed
    event->accept();
    emit Closed();
}
