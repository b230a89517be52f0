#include "BenchWindow.h"

#include "BenchWindowRow.h"
#include "SystemBeep.h"
#include "WindowLook.h"

#include "base/Failure.h"
#include "link/BusProtocol.h"
#include "link/PortChoice.h"

#include <QAction>
#include <QCloseEvent>
#include <QHeaderView>
#include <QLabel>
#include <QPointer>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <csignal>

namespace {

// Colours that read on light and dark themes alike: mid tones, never the
// only cue (each look has its icon too).
QColor ColourOf(StateLook look) {
    switch (look) {
    case StateLook::Ready:
        return QColor(0x2e, 0x9e, 0x4f);
    case StateLook::UpdateDue:
        return QColor(0xc7, 0x7c, 0x02);
    case StateLook::Busy:
        return QColor(0x2f, 0x7f, 0xd8);
    case StateLook::Lost:
        return QColor(0x8a, 0x8f, 0x98);
    case StateLook::Trouble:
        return QColor(0xd9, 0x3f, 0x3f);
    case StateLook::Waiting:
        break;
    }
    return {};
}

}  // namespace

TBenchWindow::TBenchWindow(std::vector<std::string> ports, bool searchAll, FirmwareImage image, BenchDialogs dialogs)
    : searchAll_(searchAll), dialogs_(std::move(dialogs)), image_(std::move(image)) {
    setObjectName(QStringLiteral("Bench"));
    setWindowTitle(QStringLiteral("KNSimTool bench"));
    BuildControls();
    std::vector<std::string> listed;
    if (searchAll_ && dialogs_.ListPorts) {
        try {
            listed = dialogs_.ListPorts();
        } catch (const EFailure&) {
            // Read again at the next rescan.
        }
    }
    for (auto& port : ports) {
        auto row = std::make_unique<Row>();
        row->Port = port;
        row->Listed = std::find(listed.begin(), listed.end(), port) != listed.end();
        rows_.push_back(std::move(row));
    }
    std::stable_sort(rows_.begin(), rows_.end(), [](const auto& a, const auto& b) { return PortBefore(a->Port, b->Port); });
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (const auto& row : rows_) Show(*row);
    // The monitors start once every row is in place: their first views find it.
    for (auto& row : rows_) StartMonitor(*row);
    summary_->setText(rows_.empty() ? QStringLiteral("No serial port to search") : QString());
    if (searchAll_ && dialogs_.ListPorts) {
        rescan_ = new QTimer(this);
        connect(rescan_, &QTimer::timeout, this, [this] { Rescan(); });
        rescan_->start(RescanMs);
    }
    EnableActions();
}

TBenchWindow::~TBenchWindow() {
    if (job_.joinable()) {
        closing_ = true;
        jobStop_.Request(SIGTERM);
        job_.join();
    }
    // Every box lets go at once; each destructor then waits for its own.
    for (auto& row : rows_) row->Monitor->Quit();
    rows_.clear();
}

void TBenchWindow::AddAction(QAction*& action, const char* name, const QString& text, const QString& tip) {
    action = new QAction(text, this);
    action->setObjectName(QLatin1String(name));
    action->setToolTip(tip);
}

void TBenchWindow::BuildControls() {
    AddAction(apply_, "BenchApply", QStringLiteral("Apply set-up..."),
              QStringLiteral("Send a .kns set-up to the selected boxes (all when none is selected)"));
    AddAction(save_, "BenchSave", QStringLiteral("Save..."),
              QStringLiteral("Save each selected box to a file named from a pattern ({serial}, {port})"));
    AddAction(update_, "BenchUpdate", QStringLiteral("Update firmware"),
              QStringLiteral("Update the selected boxes whose firmware is not the carried %1")
                  .arg(Latin1(image_.VersionLabel())));
    AddAction(forceUpdate_, "BenchForceUpdate", QStringLiteral("Force update..."),
              QStringLiteral("Update the selected boxes through their reset buttons, whatever they hold"));
    AddAction(cancel_, "BenchCancel", QStringLiteral("Cancel"),
              QStringLiteral("Stop the running job (a firmware transfer that has begun is finished)"));
    AddAction(addPort_, "BenchAddPort", QStringLiteral("Add port..."),
              QStringLiteral("Add a port or a device server's address; it is searched at every start"));
    AddAction(openMain_, "BenchOpenMain", QStringLiteral("Open in the main window"),
              QStringLiteral("Open the current box in the main window (double-click, Enter)"));
    auto* tools = addToolBar(QStringLiteral("Bench"));
    tools->setObjectName(QStringLiteral("BenchTools"));
    tools->setMovable(false);
    tools->addActions({apply_, save_, update_, forceUpdate_});
    tools->addSeparator();
    tools->addAction(cancel_);
    tools->addSeparator();
    tools->addAction(addPort_);
    connect(apply_, &QAction::triggered, this, [this] { ApplyClick(); });
    connect(save_, &QAction::triggered, this, [this] { SaveClick(); });
    connect(update_, &QAction::triggered, this, [this] { UpdateClick(false); });
    connect(forceUpdate_, &QAction::triggered, this, [this] { UpdateClick(true); });
    connect(cancel_, &QAction::triggered, this, [this] { jobStop_.Request(SIGINT); });
    connect(addPort_, &QAction::triggered, this, [this] { AddPortClick(); });

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
    table_->setToolTip(QStringLiteral("Double-click a box, or press Enter, to open it in the main window"));
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= 0 && row < static_cast<int>(rows_.size())) OpenMainOn(rows_[static_cast<std::size_t>(row)]->Port);
    });
    openMain_->setShortcuts({QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)});
    openMain_->setShortcutContext(Qt::WidgetShortcut);
    table_->addAction(openMain_);
    connect(openMain_, &QAction::triggered, this, [this] {
        const int row = table_->currentRow();
        if (row >= 0 && row < static_cast<int>(rows_.size())) OpenMainOn(rows_[static_cast<std::size_t>(row)]->Port);
    });
    // Ctrl+A anywhere in the window, not only with the table focused.
    auto* selectAll = new QAction(QStringLiteral("Select all"), this);
    selectAll->setObjectName(QStringLiteral("BenchSelectAll"));
    selectAll->setShortcut(QKeySequence::SelectAll);
    addAction(selectAll);
    connect(selectAll, &QAction::triggered, table_, &QTableWidget::selectAll);
    setCentralWidget(table_);

    const QStyle::StandardPixmap pictures[] = {QStyle::SP_BrowserReload, QStyle::SP_DialogApplyButton,
                                               QStyle::SP_ArrowUp,       QStyle::SP_MediaPlay,
                                               QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical};
    for (std::size_t i = 0; i < icons_.size(); ++i) icons_[i] = style()->standardIcon(pictures[i]);

    summary_ = new QLabel(this);
    summary_->setObjectName(QStringLiteral("BenchSummary"));
    statusBar()->addWidget(summary_, 1);
    resize(1000, 360);
}

void TBenchWindow::StartMonitor(Row& row) {
    const std::string port = row.Port;
    // The views cross over to the window thread.
    row.Monitor = std::make_unique<BoxMonitor>(
        port, image_,
        [this, port](const BoxView& view) { Post([this, port, view] { ViewChanged(port, view); }); },
        searchAll_);
}

void TBenchWindow::Post(std::function<void()> call) {
    bool wake;
    {
        std::lock_guard lock(mailLock_);
        wake = mail_.empty();
        mail_.push_back(std::move(call));
    }
    // A wake for a window that has gone is dropped by Qt; every thread that
    // posts has ended before the window goes.
    if (wake) QMetaObject::invokeMethod(this, "TakeMail", Qt::QueuedConnection);
}

void TBenchWindow::TakeMail() {
    std::vector<std::function<void()>> calls;
    {
        std::lock_guard lock(mailLock_);
        calls.swap(mail_);
    }
    for (auto& call : calls) call();
}

void TBenchWindow::AddRow(const std::string& port, bool listed) {
    auto row = std::make_unique<Row>();
    row->Port = port;
    row->Listed = listed;
    const auto at = std::find_if(rows_.begin(), rows_.end(), [&port](const auto& r) { return PortBefore(port, r->Port); });
    const int index = static_cast<int>(at - rows_.begin());
    Row& added = **rows_.insert(at, std::move(row));
    table_->insertRow(index);
    Show(added);
    StartMonitor(added);
    summary_->setText(QString());
    EnableActions();
}

void TBenchWindow::RemoveRow(const std::string& port) {
    const int index = IndexOf(port);
    if (index < 0) return;
    table_->removeRow(index);
    rows_.erase(rows_.begin() + index);  // the monitor ends with it
    if (rows_.empty()) summary_->setText(QStringLiteral("No KARNOL simulator answered on any port"));
    EnableActions();
}

int TBenchWindow::IndexOf(const std::string& port) const {
    for (std::size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i]->Port == port) return static_cast<int>(i);
    return -1;
}

TBenchWindow::Row* TBenchWindow::RowOf(const std::string& port) {
    const int index = IndexOf(port);
    return index < 0 ? nullptr : rows_[static_cast<std::size_t>(index)].get();
}

void TBenchWindow::Show(const Row& row) {
    const int index = IndexOf(row.Port);
    if (index < 0) return;
    const BoxView& v = row.View;
    QString state = StateText(v);
    if (!row.Busy.isEmpty()) state = row.Busy;
    else if (row.InMain) state = QStringLiteral("open in the main window");
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
        row.LastJob,
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
    if (changed) {
        table_->item(index, ColState)->setToolTip(row.Busy.isEmpty() && !row.InMain ? StateTip(v) : QString());
        table_->item(index, ColLastJob)->setToolTip(row.LastJob);
    }
    ShowLook(index, LookOf(v, !row.Busy.isEmpty() || row.InMain));
    // Most polls change nothing: the columns are fitted only when a text did,
    // and at most a few times a second, since eight boxes' progress would
    // otherwise measure every cell hundreds of times a second.
    if (changed && !fitPending_) {
        fitPending_ = true;
        QTimer::singleShot(FitDelayMs, this, [this] {
            fitPending_ = false;
            table_->resizeColumnsToContents();
            // The last column takes what the others leave again: fitting
            // it to its texts would leave the table short of the window's
            // width.
            QHeaderView* header = table_->horizontalHeader();
            header->setStretchLastSection(false);
            header->setStretchLastSection(true);
        });
    }
}

void TBenchWindow::ShowLook(int index, StateLook look) {
    QTableWidgetItem* item = table_->item(index, ColState);
    const int code = static_cast<int>(look);
    if (item->data(Qt::UserRole).isValid() && item->data(Qt::UserRole).toInt() == code) return;
    item->setData(Qt::UserRole, code);
    item->setIcon(icons_[static_cast<std::size_t>(code)]);
    const QColor colour = ColourOf(look);
    item->setForeground(colour.isValid() ? QBrush(colour) : QBrush());
}

void TBenchWindow::ViewChanged(const std::string& port, const BoxView& view) {
    Row* row = RowOf(port);
    if (!row) return;
    if (view.State == BoxView::Kind::LeftAlone) {
        // Its monitor has ended: the row goes, and a rescan leaves the port
        // alone while it stays listed.
        leftAlone_.insert(port);
        RemoveRow(port);
        return;
    }
    row->View = view;
    if (view.State == BoxView::Kind::Released && row->OpenWhenReleased) {
        row->OpenWhenReleased = false;
        const QString failure =
            dialogs_.OpenMain(port, [window = QPointer<TBenchWindow>(this), port] {
                if (window) window->MainEnded(port);  // else the bench has closed meanwhile
            });
        if (!failure.isEmpty()) {
            row->LastJob = QStringLiteral("the main window cannot be started: ") + failure;
            MainEnded(port);
            return;
        }
    }
    Show(*row);
}

std::vector<std::string> TBenchWindow::Selected() {
    std::vector<std::string> chosen;
    const QModelIndexList picked = table_->selectionModel()->selectedRows();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const bool isPicked = std::any_of(picked.begin(), picked.end(),
                                          [i](const QModelIndex& m) { return m.row() == static_cast<int>(i); });
        if ((picked.isEmpty() || isPicked) && !rows_[i]->InMain && !rows_[i]->InJob) chosen.push_back(rows_[i]->Port);
    }
    return chosen;
}

void TBenchWindow::EnableActions() {
    const bool idle = !Busy() && !closing_;
    const bool someFree = std::any_of(rows_.begin(), rows_.end(), [](const auto& r) { return !r->InMain && !r->InJob; });
    for (QAction* a : {apply_, save_, update_, forceUpdate_}) a->setEnabled(idle && someFree);
    cancel_->setEnabled(Busy() && !closing_);
    addPort_->setEnabled(!closing_);
    openMain_->setEnabled(someFree && !closing_);
}

void TBenchWindow::closeEvent(QCloseEvent* event) {
    if (Busy()) {
        // A transfer that has begun must end, or the box is left without
        // firmware; everything else stops at its next exchange. No box is
        // searched again meanwhile, a cancelled job's neither.
        closing_ = true;
        jobStop_.Request(SIGTERM);
        summary_->setText(QStringLiteral("Closing once the running job has stopped"));
        EnableActions();
        event->ignore();
        return;
    }
    if (rescan_) rescan_->stop();
    // A box lent to the main window stays with it: its monitor has let go.
    for (auto& row : rows_) row->Monitor->Quit();
    rows_.clear();  // remote mode left and every port closed
    event->accept();
    emit Closed();
}
