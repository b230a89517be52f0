// The main window's life: creation, first show, close, the user actions of
// the frame and the link's host operations.

#include "uMain.h"

#include "FileNameText.h"
#include "CarriedImage.h"
#include "EditorPanel.h"
#include "ErrorBox.h"
#include "InfoGroup.h"
#include "MainPictures.h"
#include "PortComboBox.h"
#include "SessionClose.h"
#include "SignalCloser.h"
#include "WindowLook.h"
#include "WindowPlacement.h"
#include "uAbout.h"
#include "uDebug.h"
#include "uFileIo.h"
#include "uMessageBox.h"
#include "uUpdate.h"

#include "link/StatusTexts.h"
#include "link/uComIo.h"
#include "storage/IniFile.h"
#include "storage/SettingsLocation.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>

namespace {

// The update failure message as the window's message box shows it: each
// line ends with CR LF, the gap between them with a bare line feed.
QString UpdateFailedMessage() {
    QString text;
    for (std::size_t i = 0; i < LinkText::UpdateFailedLines.size(); ++i) {
        const char* line = LinkText::UpdateFailedLines[i];
        text += QLatin1String(line);
        if (i + 1 < LinkText::UpdateFailedLines.size()) text += QLatin1String(line[0] == '\0' ? "\n" : "\r\n");
    }
    return text;
}

}  // namespace

TMain::TMain(const TStartOptions& options, QWidget* parent)
    : QMainWindow(parent),
      options_(options),
      ui_(BuildMainFrame(*this, QSize(ClientWidth, ClientHeight))),
      setup_(std::make_unique<SetupController>(*ui_.GrpInfo, *ui_.Editor, steps_)),
      ports_(options_.Port, std::string()),
      settings_(std::make_unique<IniFile>()) {
    setObjectName(QStringLiteral("Main"));
    ConnectControls();
    steps_.OnExchangeEnded = [this] { ExchangeEnded(); };
    FormCreate();
}

void TMain::ConnectControls() {
    connect(ui_.MnuOpenCfg, &QAction::triggered, this, [this] { MnuOpenCfgClick(); });
    connect(ui_.MnuSaveCfg, &QAction::triggered, this, [this] { MnuSaveCfgAsClick(); });
    connect(ui_.MnuExit, &QAction::triggered, this, [this] { MnuExitClick(); });
    connect(ui_.MnuReload, &QAction::triggered, this, [this] { RestartPortClick(); });
    connect(ui_.MnuForceUpdate, &QAction::triggered, this, [this] { ForceUpdateClick(); });
    connect(ui_.MnuAbout, &QAction::triggered, this, [this] { MnuAboutClick(); });
    connect(ui_.ButPort, &QToolButton::clicked, this, [this] { RestartPortClick(); });
    ui_.cbPorts->OnDropDown = [this] { cbPortsDropDown(); };
    // A typed name that is in the list is picked by the box itself, which
    // reports it as activated.
    connect(ui_.cbPorts, &QComboBox::activated, this, [this](int) { cbPortsChange(); });
    connect(ui_.cbPorts->lineEdit(), &QLineEdit::returnPressed, this, [this] { cbPortsTyped(); });
    connect(ui_.GrpInfo, &InfoGroup::ProtocolChosen, this, [this] { SetProto(); });
    connect(ui_.Editor, &EditorPanel::SendClicked, this, [this] { ButSendDtcClick(); });
}

TMain::~TMain() {
    // A window destroyed without being closed still leaves its placement
    // (the placement writes only once per run).
    try {
        placement_->Save();
    } catch (const std::exception&) {
        // Nothing can be shown any more at this point.
    }
}

void TMain::FormCreate() {
    try {
        image_ = CarriedImage();
    } catch (const std::exception& failure) {
        // Without an acceptable image the scheduler never starts, so
        // nothing is ever sent to a simulator.
        ShowErrorBox(failure);
    }

    title_ = QStringLiteral("KARNOL-Simulator Tool v") + Latin1(image_.VersionText());
    SetProgramTitle(title_);
    setWindowTitle(title_);

    programFolder_ = QCoreApplication::applicationDirPath();
    if (!programFolder_.endsWith(QLatin1Char('/'))) programFolder_ += QLatin1Char('/');
    settingsFile_ = options_.SettingsFile.isEmpty()
                        ? FileNameText(SettingsFileFor(FileNameBytes(programFolder_)))
                        : options_.SettingsFile;
    settings_->SetFileName(FileNameBytes(settingsFile_));
    placement_ = std::make_unique<WindowPlacement>(*this, *settings_, "Main\\");

    // The designed look until the first step: not connected, but the forced
    // update already on offer.
    ShowConnected(false);
    ui_.MnuForceUpdate->setEnabled(true);
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - QPoint(width() / 2, height() / 2));
    }
}

void TMain::Attach(const Companions& companions) {
    companions_ = companions;
    steps_.Attach(companions_.Link);
    if (TComIo* link = companions_.Link) {
        // A termination signal is only carried out between exchanges; a
        // reply trickling in must not hold it up for long.
        (void)link->SetStopWaiting([this] { return CloseEndsWait(WaitLength::Reply); });
        // The line event watcher hands its event sets over from its own
        // thread; they are handled here on the window thread.
        link->SetEventHandOver([this] {
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (companions_.Link) companions_.Link->HandleLineEvents();
                },
                Qt::QueuedConnection);
        });
    }
}

void TMain::DetachLink() {
    steps_.Attach(nullptr);
    companions_.Link = nullptr;
}

bool TMain::RemoteModeFlag() const { return companions_.Link && companions_.Link->RemoteModeOn(); }

void TMain::ShowFirst() {
    if (!placementRestored_) {
        placementRestored_ = true;
        RestorePlacement();
    }
    show();
}

void TMain::RestorePlacement() {
    try {
        placement_->Restore();
    } catch (const std::exception& failure) {
        // Whatever was restored before the bad value stays; the window
        // shows as usual.
        ShowErrorBox(failure);
    }
}

void TMain::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (shown_) return;
    shown_ = true;
    if (!placementRestored_) {
        placementRestored_ = true;
        RestorePlacement();
    }
    FormShow();
}

void TMain::FormShow() {
    const std::function<bool()> windowPresent =
        options_.DevelopmentWindowPresent ? options_.DevelopmentWindowPresent : DevelopmentWindowExists;
    if (DeveloperModeRequested(options_.Arguments, windowPresent)) {
        developerMode_ = true;
        if (companions_.Debug) companions_.Debug->show();
        const QString program =
            options_.ProgramFile.isEmpty() ? QCoreApplication::applicationFilePath() : options_.ProgramFile;
        CopyToDistribution(program, image_.VersionWord());
    }

    settings_->SetDefaultSection("CONFIG");
    ports_ = PortOffer(options_.Port, settings_->ReadString("ComPort", ""));

    try {
        FillPorts();
    } catch (const std::exception& failure) {
        // The list stays empty; the transfer area and the scheduler still
        // start, so the search reports the missing port on the status bar.
        ShowErrorBox(failure);
    }
    SelectStartPort(ports_.StartPort());

    image_.PrepareTransferArea();
    ui_.GrpInfo->FitDigit();
    steps_.Start();
}

void TMain::FillPorts() {
    QStringList entries;
    for (const std::string& port : ports_.Entries()) entries << Latin1(port);
    ui_.cbPorts->clear();
    ui_.cbPorts->addItems(entries);
}

void TMain::SelectStartPort(const std::string& port) {
    int index = ui_.cbPorts->findText(Latin1(port), Qt::MatchFixedString);  // letter case ignored
    if (index < 0 && ui_.cbPorts->count() > 0) index = 0;
    ui_.cbPorts->setCurrentIndex(index);
}

void TMain::closeEvent(QCloseEvent* event) {
    if (closed_) {
        event->accept();
        return;
    }
    if (ExchangeRunning()) {
        // Closing now would pull the port from under the running exchange;
        // the close follows as soon as it is over.
        closePending_ = true;
        event->ignore();
        return;
    }
    steps_.Timer1().stop();
    FormClose();
    closed_ = true;
    event->accept();
    emit Closed();
}

void TMain::FormClose() {
    // A move the window system has already reported may still wait in the
    // queue (a close by a signal can overtake it); the placement must be the
    // one on the screen. Timer1 is stopped, so no step can run meanwhile.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    StepDriver::Exchange exchange(steps_);
    CloseSession(companions_.Link, {[this] { placement_->Save(); },
                                    [this] {
                                        settings_->SetDefaultSection("CONFIG");
                                        settings_->WriteString("ComPort", PortName());
                                    },
                                    [](const std::exception& failure) { ShowErrorBox(failure); }});
}

void TMain::ExchangeEnded() {
    if (closePending_ && !closed_) {
        closePending_ = false;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
    }
}

bool TMain::MayStep() const { return !closed_ && image_.Loaded(); }

SchedulerState TMain::RunUpdate(SchedulerState kind) {
    return companions_.Update ? companions_.Update->Run(kind, PortName()) : SchedulerState::UpdateFailed;
}

void TMain::ShowUpdateFailed() {
    if (companions_.MsgBox)
        companions_.MsgBox->ShowMsg(UpdateFailedMessage(), mkError, QString(), mbClose, true);
    close();
}

void TMain::OfferForcedUpdate() { ui_.MnuForceUpdate->setEnabled(true); }

void TMain::ShowConnected(bool connected) {
    ui_.MainPanel->setVisible(connected);
    ui_.GrpInfo->ShowConnected(connected);
    ui_.MnuOpenCfg->setEnabled(connected);  // the menu item and its tool button
    ui_.MnuSaveCfg->setEnabled(connected);
    if (!connected) ui_.MnuForceUpdate->setEnabled(false);
}

void TMain::RestartPortClick() { steps_.Restart(SchedulerState::Search); }

void TMain::cbPortsChange() { RestartPortClick(); }

void TMain::cbPortsTyped() {
    // A name the list has (letter case ignored) the box has picked itself and
    // reported as activated.
    TPortComboBox& box = *ui_.cbPorts;
    const QString entered = box.lineEdit()->text();
    if (box.findText(entered, Qt::MatchFixedString) >= 0) return;
    const std::string typed = entered.trimmed().toLatin1().toStdString();
    if (typed.empty()) {
        box.RevertEdit();
        return;
    }
    int index = box.findText(Latin1(typed), Qt::MatchFixedString);
    if (index < 0) {
        ports_.Confirm(typed);
        try {
            FillPorts();
        } catch (const std::exception& failure) {
            ShowErrorBox(failure);  // the list keeps its entries and its selection
            box.RevertEdit();
            return;
        }
        index = box.findText(Latin1(typed), Qt::MatchFixedString);
    }
    box.setCurrentIndex(index);
    cbPortsChange();
}

void TMain::ForceUpdateClick() { steps_.Restart(SchedulerState::ForcedUpdate); }

void TMain::cbPortsDropDown() {
    const int index = ui_.cbPorts->currentIndex();
    try {
        FillPorts();
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);  // the list keeps its entries and its selection
        return;
    }
    // By position: another name may stand there now, or none.
    ui_.cbPorts->setCurrentIndex(index < ui_.cbPorts->count() ? index : -1);
}

void TMain::MnuExitClick() { close(); }

void TMain::MnuAboutClick() {
    if (companions_.About) companions_.About->exec();
}

void TMain::MnuSaveCfgAsClick() {
    if (!companions_.FileIo) return;
    const QString chosen = companions_.FileIo->ChooseSave();
    if (chosen.isEmpty()) return;
    companions_.FileIo->Save(chosen, setup_->Read());
    // Named only once it is written, so the panel never shows a file that
    // does not hold the set-up.
    ShowFileName(TFileIo::ShownName(chosen));
}

void TMain::MnuOpenCfgClick() {
    if (!companions_.FileIo) return;
    const QString chosen = companions_.FileIo->ChooseOpen();
    if (chosen.isEmpty()) return;
    ShowFileName(TFileIo::ShownName(chosen));
    // Everything is read before any control changes, so a bad file leaves
    // the window as it was.
    setup_->ApplyFile(companions_.Link, companions_.FileIo->Open(chosen));
}

void TMain::ButSendDtcClick() { setup_->Send(companions_.Link); }

void TMain::SetProto() { setup_->ChangeProtocol(companions_.Link); }

void TMain::ShowStatus() { setup_->ShowStatus(simState_); }

void TMain::ShowConfiguration() { setup_->ShowConfiguration(simState_); }

void TMain::PanelInfo(const std::string& text) { ShowFailure(text, FailureKind::Other); }

void TMain::ShowFailure(const std::string& text, FailureKind kind) {
    ui_.sBarPanel0->setText(Latin1(text));
    // A port refused for lack of permission keeps its text; the way out is
    // one hover away.
    ui_.sBarPanel0->setToolTip(kind == FailureKind::PermissionDenied ? Latin1(PermissionAdvice(PortName())) : QString());
    emit StatusTextChanged(ui_.sBarPanel0->text());
    ProcessMessages();
}

bool TMain::CloseRequested() const { return CloseEndsWait(WaitLength::Seconds); }

bool TMain::CloseEndsWait(WaitLength wait) const {
    // The update is left alone: a transfer runs to its end.
    if (companions_.Update && companions_.Update->Running()) return false;
    // A close from the window lets a short exchange finish first; it only
    // cuts a wait of seconds (a device server's connect).
    return CloseSignalArrived() || (closePending_ && wait == WaitLength::Seconds);
}

void TMain::ProcessMessages() {
    // Paint and timers go on; user input waits for the end of the exchange.
    // While the update window runs, its CANCEL must get through; the window
    // is modal, so nothing else of the program takes input meanwhile.
    const bool updateRunning = companions_.Update && companions_.Update->Running();
    QCoreApplication::processEvents(updateRunning ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

std::string TMain::PortName() const { return ui_.cbPorts->SelectedText().toLatin1().toStdString(); }

void TMain::SetSerialText(const std::string& text) { ui_.GrpInfo->SetSerialText(Latin1(text)); }

void TMain::SetVersionText(const std::string& text) { ui_.GrpInfo->SetVersionText(Latin1(text)); }

void TMain::PortOpened(bool open) { ui_.ButPort->setIcon(MainPicture(open ? PicturePortOpen : PicturePortClosed)); }

void TMain::ShowFileName(const QString& name) {
    ui_.sBarPanel1->setText(name);
    ui_.sBarPanel1->setToolTip(name);
}
