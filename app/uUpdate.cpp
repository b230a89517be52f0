#include "uUpdate.h"

#include "link/uComIo.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

TUpdateDialog::TUpdateDialog(TComIo& link, QWidget* parent) : QDialog(parent), link_(link) {}
SchedulerState TUpdateDialog::Run(SchedulerState kind) { kind_ = kind; return SchedulerState::UpdateFailed; }
void TUpdateDialog::ShowLayout(const UpdateLayout&) {}
void TUpdateDialog::SetProgress(int, int) {}
void TUpdateDialog::showEvent(QShowEvent* event) { QDialog::showEvent(event); }
void TUpdateDialog::closeEvent(QCloseEvent* event) { QDialog::closeEvent(event); }
void TUpdateDialog::keyPressEvent(QKeyEvent* event) { QDialog::keyPressEvent(event); }
void TUpdateDialog::reject() {}
void TUpdateDialog::FormShow() {}
void TUpdateDialog::Update() {}
void TUpdateDialog::ButAbortClick() {}
void TUpdateDialog::Finish(SchedulerState result) { result_ = result; }
