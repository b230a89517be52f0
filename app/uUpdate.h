#pragma once
// The "BIOS UPDATE" window: a view over the firmware update. Its timer
// drives the update's steps; the window closes when the update hands back
// the state for the scheduler.

#include "link/LinkHost.h"
#include "link/SchedulerState.h"

#include <QDialog>

#include <string>

class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class FirmwareUpdate;

class TUpdateDialog : public QDialog, public IUpdateView {
    Q_OBJECT

public:
    static constexpr int ClientWidth = 301;
    static constexpr int HeightWithPrompt = 150;
    static constexpr int HeightWithoutPrompt = 100;
    explicit TUpdateDialog(FirmwareUpdate& update, QWidget* parent = nullptr);

    // Runs an AutoUpdate or ForcedUpdate modally; returns Search, Stopped or
    // UpdateFailed for the scheduler.
    SchedulerState Run(SchedulerState kind, const std::string& port);

    // IUpdateView
    void ShowLayout(const UpdateLayout& layout) override;
    void SetProgress(int position, int maximum) override;

    bool Running() const { return running_; }
    // The program is asked to end: while the forced update waits for the
    // reset button this is CANCEL; otherwise the update runs to its end.
    void CancelWhileWaiting();

    QLabel* LabInstalled() const { return labInstalled_; }
    QLabel* LabUpFrom() const { return labUpFrom_; }
    QLabel* LabUpdate() const { return labUpdate_; }
    QLabel* LabUpTo() const { return labUpTo_; }
    QProgressBar* UpBar() const { return upBar_; }
    QLabel* LabReset() const { return labReset_; }
    QPushButton* ButAbort() const { return butAbort_; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void FormShow();
    void Update();
    void ButAbortClick();
    void Finish(SchedulerState result);

    FirmwareUpdate& update_;
    SchedulerState kind_ = SchedulerState::AutoUpdate;
    std::string port_;
    SchedulerState result_ = SchedulerState::UpdateFailed;
    bool running_ = false;

    QLabel* labInstalled_ = nullptr;
    QLabel* labUpFrom_ = nullptr;
    QLabel* labUpdate_ = nullptr;
    QLabel* labUpTo_ = nullptr;
    QProgressBar* upBar_ = nullptr;
    QLabel* labReset_ = nullptr;
    QPushButton* butAbort_ = nullptr;
    QTimer* timer1_ = nullptr;
};
