#pragma once
// The bench window: one row per simulator of the machine, each kept current
// by a monitor of its own, and the bench's jobs (apply a set-up, save, update
// the firmware) run on the selected rows through the same bench use case as
// the command line's, so that each box gets exactly the command line's bytes.

#include "BenchDialogs.h"
#include "BenchJobEvents.h"

#include "link/BenchRun.h"
#include "link/BoxJobs.h"
#include "link/BoxMonitor.h"
#include "link/FirmwareImage.h"

#include <QMainWindow>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

class QAction;
class QLabel;
class QTableWidget;

class TBenchWindow : public QMainWindow {
    Q_OBJECT

public:
    // ports: the boxes named at start; empty: every port of the machine is
    // searched, and one without a simulator left alone.
    TBenchWindow(std::vector<std::string> ports, bool searchAll, FirmwareImage image, BenchDialogs dialogs);
    ~TBenchWindow() override;

    // The columns of a row.
    enum Column { ColPort, ColSerial, ColVersion, ColProtocol, ColEcus, ColMil, ColEcu1, ColEcu2, ColState, ColCount };

    // Whether a job runs on some of the boxes.
    bool Busy() const { return job_.joinable(); }

signals:
    // The window has closed, every port with it.
    void Closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Row;

    void BuildControls();
    void ViewChanged(const std::string& port, const BoxView& view);
    void JobProgress(const std::string& port, const QString& busy);
    void JobFinished(const std::string& port, bool ok, const QString& failure);
    void JobEnded(const QString& summary);
    Row* RowOf(const std::string& port);
    void Show(const Row& row);
    void SortRows();
    std::vector<Row*> Selected();
    void EnableActions();

    void ApplyClick();
    void SaveClick();
    void UpdateClick(bool forced);
    void RunJob(const QString& what, std::vector<Row*> rows, BenchRequest request, BoxJob job);
    void OpenMainOn(int tableRow);

    BenchDialogs dialogs_;
    FirmwareImage image_;
    std::vector<std::unique_ptr<Row>> rows_;
    QTableWidget* table_ = nullptr;
    QLabel* summary_ = nullptr;
    QAction* apply_ = nullptr;
    QAction* save_ = nullptr;
    QAction* update_ = nullptr;
    QAction* forceUpdate_ = nullptr;
    QAction* cancel_ = nullptr;

    static constexpr int FitDelayMs = 200;  // columns fitted to changed texts at most this often
    bool fitPending_ = false;

    BenchJobStop jobStop_;
    std::thread job_;
    bool closeAfterJob_ = false;
};
