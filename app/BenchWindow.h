#pragma once
// The bench window: one row per simulator of the machine, each kept current
// by a monitor of its own, and the bench's jobs (apply a set-up, save, update
// the firmware) run on the selected rows through the same bench use case as
// the command line's, so that each box gets exactly the command line's bytes.
// Rows are addressed by their port, never held across a dialog: a row may go
// while one is open.

#include "BenchDialogs.h"
#include "BenchJobEvents.h"
#include "BenchRowText.h"

#include "link/BenchRun.h"
#include "link/BoxJobs.h"
#include "link/BoxMonitor.h"
#include "link/FirmwareImage.h"

#include <QIcon>
#include <QMainWindow>
#include <QString>

#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QTableWidget;
class QTimer;

class TBenchWindow : public QMainWindow {
    Q_OBJECT

public:
    // ports: the boxes named at start; with searchAll, every port of the
    // machine: one on which nothing answers is left alone, and the machine's
    // list is read again every few seconds for ports plugged in meanwhile.
    TBenchWindow(std::vector<std::string> ports, bool searchAll, FirmwareImage image, BenchDialogs dialogs);
    ~TBenchWindow() override;

    // The columns of a row.
    enum Column { ColPort, ColSerial, ColVersion, ColProtocol, ColEcus, ColMil, ColEcu1, ColEcu2, ColState, ColLastJob, ColCount };

    // Whether a job runs on some of the boxes.
    bool Busy() const { return job_.joinable(); }

    static constexpr int RescanMs = 2000;  // the machine's port list read again this often

    // Runs what the other threads handed over (see Post).
    Q_INVOKABLE void TakeMail();

signals:
    // The window has closed, every port with it.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Row;

    // Hands call over to the window thread, from any thread. The call and
    // what it carries pass through our own lock, and Qt only wakes the
    // window thread, carrying nothing: so the hand-over is one that a race
    // checker sees, Qt built with or without it.
    void Post(std::function<void()> call);

    void BuildControls();
    void AddAction(QAction*& action, const char* name, const QString& text, const QString& tip);
    void AddRow(const std::string& port, bool listed);
    void StartMonitor(Row& row);
    void RemoveRow(const std::string& port);
    void ViewChanged(const std::string& port, const BoxView& view);
    void JobProgress(const std::string& port, const QString& busy);
    void JobFinished(const std::string& port, bool ok, const QString& failure);
    void JobEnded(const QString& summary);
    Row* RowOf(const std::string& port);
    int IndexOf(const std::string& port) const;
    void Show(const Row& row);
    void ShowLook(int index, StateLook look);
    std::vector<std::string> Selected();
    void EnableActions();
    void Rescan();
    void AddPortClick();

    void ApplyClick();
    void SaveClick();
    void UpdateClick(bool forced);
    void RunJob(const QString& what, const std::vector<std::string>& ports, BenchRequest request, BoxJob job);
    void OpenMainOn(const std::string& port);
    void MainEnded(const std::string& port);

    bool searchAll_;
    BenchDialogs dialogs_;
    FirmwareImage image_;
    std::vector<std::unique_ptr<Row>> rows_;  // in the ports' natural order, as the table
    std::set<std::string> leftAlone_;          // listed ports where nothing answered
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QAction* apply_ = nullptr;
    QAction* save_ = nullptr;
    QAction* update_ = nullptr;
    QAction* forceUpdate_ = nullptr;
    QAction* cancel_ = nullptr;
    QAction* addPort_ = nullptr;
    QAction* openMain_ = nullptr;
    QTimer* rescan_ = nullptr;
    std::array<QIcon, 6> icons_;

    static constexpr int FitDelayMs = 200;  // columns fitted to changed texts at most this often
    bool fitPending_ = false;

    std::mutex mailLock_;
    std::vector<std::function<void()>> mail_;

    BenchJobStop jobStop_;
    std::thread job_;
    std::atomic<bool> closing_{false};  // the window closes once the job has stopped
};
