#include "uUpdate.h"

#include "OwnCaption.h"
#include "WindowLook.h"

#include "link/FirmwareUpdate.h"

#include <QCloseEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>

#include <exception>

namespace {

const QColor Yellow(255, 255, 0);

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, const QColor& color,
                  Qt::Alignment alignment, const QRect& geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(TahomaFont(true));
    SetTextColour(label, color);
    label->setAlignment(alignment);
    label->setGeometry(geometry);
    return label;
}

}  // namespace

TUpdateDialog::TUpdateDialog(FirmwareUpdate& update, QWidget* parent) : QDialog(parent), update_(update) {
    setObjectName(QStringLiteral("ComIo"));
    // A tool window without border icons: the transfer decides when it
    // closes. Its caption is its own, as window managers put a close button
    // on every title bar they draw.
    setWindowFlags(Qt::Dialog | Qt::Tool | Qt::CustomizeWindowHint);
    QWidget* client = TOwnCaption::Install(*this);
    setWindowTitle(QStringLiteral("BIOS UPDATE"));
    setModal(true);
    setFixedSize(ClientWidth, HeightWithPrompt);

    const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
    const Qt::Alignment left = Qt::AlignLeft | Qt::AlignVCenter;
    labInstalled_ = MakeLabel(client, "LabInstalled", QStringLiteral("Installed version:"), Navy, right,
                              QRect(8, 8, 140, 16));
    labUpFrom_ = MakeLabel(client, "LabUpFrom", QStringLiteral("---"), Maroon, left, QRect(156, 8, 137, 16));
    labUpdate_ = MakeLabel(client, "LabUpdate", QStringLiteral("Update to version:"), Navy, right,
                           QRect(8, 30, 140, 16));
    labUpTo_ = MakeLabel(client, "LabUpTo", QStringLiteral("---"), Maroon, left, QRect(156, 30, 137, 16));

    upBar_ = new QProgressBar(client);
    upBar_->setObjectName(QStringLiteral("upBar"));
    upBar_->setGeometry(8, 54, ClientWidth - 16, 17);
    upBar_->setRange(0, 100);
    upBar_->setValue(0);
    upBar_->setTextVisible(false);

    // The bottom row, shown only while the forced update waits for the reset.
    labReset_ = MakeLabel(client, "LabReset", QStringLiteral("Please press the simulators reset button"), Yellow,
                          Qt::AlignCenter, QRect(8, 88, 196, 38));
    labReset_->setWordWrap(true);
    labReset_->setAutoFillBackground(true);
    QPalette resetPalette = labReset_->palette();
    resetPalette.setColor(QPalette::Window, Navy);
    labReset_->setPalette(resetPalette);

    butAbort_ = new QPushButton(QStringLiteral("CANCEL"), client);
    butAbort_->setObjectName(QStringLiteral("ButAbort"));
    butAbort_->setGeometry(212, 95, 81, 25);
    butAbort_->setAutoDefault(false);
    connect(butAbort_, &QPushButton::clicked, this, &TUpdateDialog::ButAbortClick);

    timer1_ = new QTimer(this);
    timer1_->setObjectName(QStringLiteral("Timer1"));
    timer1_->setSingleShot(true);
    // Never early: the boot loader gets its full 100 ms between two polls.
    timer1_->setTimerType(Qt::PreciseTimer);
    timer1_->setInterval(FirmwareUpdate::StepInterval);
    connect(timer1_, &QTimer::timeout, this, &TUpdateDialog::Update);
}

SchedulerState TUpdateDialog::Run(SchedulerState kind, const std::string& port) {
    kind_ = kind;
    port_ = port;
    result_ = SchedulerState::UpdateFailed;
    running_ = true;
    exec();
    running_ = false;
    timer1_->stop();
    return result_;
}

void TUpdateDialog::ShowLayout(const UpdateLayout& layout) {
    setFixedSize(ClientWidth, layout.ResetPrompt ? HeightWithPrompt : HeightWithoutPrompt);
    labReset_->setVisible(layout.ResetPrompt);
    butAbort_->setVisible(layout.ResetPrompt);
    labInstalled_->setVisible(layout.ShowInstalled);
    labUpFrom_->setVisible(layout.ShowInstalled);
    if (layout.ShowInstalled) labUpFrom_->setText(Latin1(layout.Installed));
    labUpTo_->setText(Latin1(layout.Carried));
}

void TUpdateDialog::SetProgress(int position, int maximum) {
    if (upBar_->maximum() != maximum) upBar_->setRange(0, maximum);
    upBar_->setValue(position);
}

void TUpdateDialog::FormShow() {
    upBar_->setRange(0, 100);
    upBar_->setValue(0);
    update_.Begin(kind_, *this, port_);
    // The first layout may have changed the height; centre what is shown.
    CentreOn(*this, parentWidget() ? parentWidget()->window() : nullptr);
    timer1_->start();
}

void TUpdateDialog::Update() {
    // Single-shot: the timer is off while a step runs, so steps never overlap.
    std::optional<SchedulerState> next;
    try {
        next = update_.Step();
    } catch (const std::exception&) {
        // The update reports its own failures as UpdateFailed; anything that
        // still escapes ends the update the same way instead of the program.
        next = SchedulerState::UpdateFailed;
    }
    if (next)
        Finish(*next);
    else
        timer1_->start();
}

void TUpdateDialog::ButAbortClick() { update_.Abort(); }

void TUpdateDialog::CancelWhileWaiting() {
    if (running_ && update_.CanCancel()) ButAbortClick();
}

void TUpdateDialog::Finish(SchedulerState result) {
    result_ = result;
    running_ = false;
    done(QDialog::Accepted);
}

void TUpdateDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (running_ && !event->spontaneous()) FormShow();
}

void TUpdateDialog::closeEvent(QCloseEvent* event) {
    // Half a transfer leaves the simulator without firmware: while an update
    // runs, only the update itself (or CANCEL while waiting) ends it.
    if (running_)
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void TUpdateDialog::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TUpdateDialog::reject() {
    if (!running_) QDialog::reject();
}
