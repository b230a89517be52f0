// The main window's life: creation, first show, close, the user actions of
// the frame and the link's host operations.

#include "uMain.h"

#include "ErrorBox.h"
#include "MainPictures.h"
#include "PortComboBox.h"
#include "SevenSegmentDigit.h"
#include "SignalCloser.h"
#include "uAbout.h"
#include "uDebug.h"
#include "uMessageBox.h"
#include "uUpdate.h"
#include "WindowLook.h"

#include "link/StatusTexts.h"
#include "link/uComIo.h"
#include "serial/ComPort.h"
#include "serial/PortList.h"
#include "serial/PortPermission.h"
#include "storage/IniFile.h"
#include "WindowPlacement.h"
#include "uFileIo.h"
#include "storage/SettingsLocation.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QToolButton>

TMain::TMain(const TStartOptions& options, QWidget* parent)
    : QMainWindow(parent), options_(options), settings_(std::make_unique<IniFile>()) {
    setObjectName(QStringLiteral("Main"));
    BuildFrame();
    steps_.OnExchangeEnded = [this] { ExchangeEnded(); };
    FormCreate();
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
    QFile resource(QStringLiteral(":/BIOS"));
    if (resource.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = resource.readAll();
        try {
            image_.Load(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        } catch (const std::exception& failure) {
            // Without an acceptable image the scheduler never starts, so
            // nothing is ever sent to a simulator.
            ShowErrorBox(failure);
        }
    } else {
        ShowErrorBox(std::string("The carried firmware image is missing"));
    }

    title_ = QStringLiteral("KARNOL-Simulator Tool v") + Latin1(image_.VersionText());
    SetProgramTitle(title_);
    setWindowTitle(title_);

    programFolder_ = QCoreApplication::applicationDirPath();
    if (!programFolder_.endsWith(QLatin1Char('/'))) programFolder_ += QLatin1Char('/');
    settingsFile_ = options_.SettingsFile.isEmpty()
                        ? QFile::decodeName(SettingsFileFor(QFile::encodeName(programFolder_).toStdString()).c_str())
                        : options_.SettingsFile;
    settings_->SetFileName(QFile::encodeName(settingsFile_).toStdString());
    placement_ = std::make_unique<WindowPlacement>(*this, *settings_, "Main\\");

    // The designed look until the first step: not connected, but the forced
    // update already on offer.
    ShowConnected(false);
    MnuForceUpdate->setEnabled(true);
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
        // reply trickling in must not hold it up for long. The update is left
        // alone: a transfer runs to its end.
        (void)link->SetStopWaiting([this] {
            return CloseSignalArrived() && !(companions_.Update && companions_.Update->Running());
        });
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

void TMain::setVisible(bool visible) {
    // The placement comes back before the window first exists, so that its
    // position reaches the window manager as the position of the frame.
    if (visible && !placementRestored_) {
        placementRestored_ = true;
        RestorePlacement();
    }
    QMainWindow::setVisible(visible);
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
    const std::string savedPort = settings_->ReadString("ComPort", "");
    // A port saved by its path (a pseudo-terminal, /dev/serial/by-id/...) is
    // not in the system's list; while its device is there it is offered as a
    // port named on the command line is, rather than replaced by the first
    // listed port (which may be the machine's console line). A device
    // server's address is offered the same way; the network is not probed.
    if (!options_.Port && OfferedUnlisted(savedPort)) options_.Port = savedPort;

    try {
        FillPorts();
    } catch (const std::exception& failure) {
        // The list stays empty; the transfer area and the scheduler still
        // start, so the search reports the missing port on the status bar.
        ShowErrorBox(failure);
    }
    SelectStartPort(options_.Port ? *options_.Port : savedPort);

    image_.PrepareTransferArea();
    Seg7->resize(30, 44);
    steps_.Start();
}

void TMain::FillPorts() {
    std::vector<std::string> listed;
    TCustomComPort::ListSerialPorts(listed);
    // Names the system does not list (a pseudo-terminal, a device server)
    // are offered every time the list is filled: the one named at start and
    // every one typed and confirmed in this run.
    std::vector<std::string> named = typedPorts_;
    if (options_.Port) named.push_back(*options_.Port);
    cbPorts->clear();
    cbPorts->addItems(OfferedPorts(std::move(listed), std::move(named)));
}

void TMain::SelectStartPort(const std::string& savedPort) {
    int index = cbPorts->findText(Latin1(savedPort), Qt::MatchFixedString);  // letter case ignored
    if (index < 0 && cbPorts->count() > 0) index = 0;
    cbPorts->setCurrentIndex(index);
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
    // Each step runs even when the one before it failed: a close must not stop halfway.
    try {
        placement_->Save();
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);
    }
    if (companions_.Link) {
        StepDriver::Exchange exchange(steps_);
        companions_.Link->ClosePort();
    }
    try {
        settings_->SetDefaultSection("CONFIG");
        settings_->WriteString("ComPort", PortName());
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);
    }
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
    if (companions_.MsgBox) {
        // The message's fixed layout: each line ends with CR LF, the gap
        // between them with a bare line feed.
        QString text;
        const auto& lines = LinkText::UpdateFailedLines;
        for (std::size_t i = 0; i < lines.size(); ++i) {
            text += QLatin1String(lines[i]);
            if (i + 1 < lines.size()) text += lines[i][0] == '\0' ? QStringLiteral("\n") : QStringLiteral("\r\n");
        }
        companions_.MsgBox->ShowMsg(text, mkError, QString(), mbClose, true);
    }
    close();
}

void TMain::OfferForcedUpdate() { MnuForceUpdate->setEnabled(true); }

void TMain::ShowConnected(bool connected) {
    MainPanel->setVisible(connected);
    cbActProto->setEnabled(connected);
    cbEcuCount->setEnabled(connected);
    MnuOpenCfg->setEnabled(connected);  // the menu item and its tool button
    MnuSaveCfg->setEnabled(connected);
    Seg7->setVisible(connected);
    if (!connected) {
        DtcLabel->clear();
        ImgMilOn->hide();
        ImgMilOff->hide();
        MnuForceUpdate->setEnabled(false);
        cbActProto->setCurrentIndex(-1);
        cbEcuCount->setCurrentIndex(-1);
    }
}

void TMain::RestartPortClick() { steps_.Restart(SchedulerState::Search); }

void TMain::cbPortsChange() { RestartPortClick(); }

void TMain::cbPortsTyped() {
    // A name the list has (letter case ignored) the box has picked itself and
    // reported as activated.
    const QString entered = cbPorts->lineEdit()->text();
    if (cbPorts->findText(entered, Qt::MatchFixedString) >= 0) return;
    const std::string typed = entered.trimmed().toLatin1().toStdString();
    if (typed.empty()) {
        cbPorts->RevertEdit();
        return;
    }
    int index = cbPorts->findText(Latin1(typed), Qt::MatchFixedString);
    if (index < 0) {
        typedPorts_.push_back(typed);
        try {
            FillPorts();
        } catch (const std::exception& failure) {
            ShowErrorBox(failure);  // the list keeps its entries and its selection
            cbPorts->RevertEdit();
            return;
        }
        index = cbPorts->findText(Latin1(typed), Qt::MatchFixedString);
    }
    cbPorts->setCurrentIndex(index);
    cbPortsChange();
}

void TMain::ForceUpdateClick() { steps_.Restart(SchedulerState::ForcedUpdate); }

void TMain::cbPortsDropDown() {
    const int index = cbPorts->currentIndex();
    try {
        FillPorts();
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);  // the list keeps its entries and its selection
        return;
    }
    // By position: another name may stand there now, or none.
    cbPorts->setCurrentIndex(index < cbPorts->count() ? index : -1);
}

void TMain::MnuExitClick() { close(); }

void TMain::MnuAboutClick() {
    if (companions_.About) companions_.About->exec();
}

void TMain::MnuSaveCfgAsClick() {
    if (!companions_.FileIo) return;
    const QString chosen = companions_.FileIo->ChooseSave();
    if (chosen.isEmpty()) return;
    companions_.FileIo->Save(chosen, ReadSetup());
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
    ApplyFile(companions_.FileIo->Open(chosen));
}

void TMain::PanelInfo(const std::string& text) { ShowFailure(text, FailureKind::Other); }

void TMain::ShowFailure(const std::string& text, FailureKind kind) {
    sBarPanel0->setText(Latin1(text));
    // A port refused for lack of permission keeps its text; the way out is
    // one hover away.
    sBarPanel0->setToolTip(kind == FailureKind::PermissionDenied ? Latin1(PortPermissionAdvice(PortName()))
                                                                  : QString());
    emit StatusTextChanged(sBarPanel0->text());
    ProcessMessages();
}

bool TMain::CloseRequested() const {
    return (closePending_ || CloseSignalArrived()) && !(companions_.Update && companions_.Update->Running());
}

void TMain::ProcessMessages() {
    // Paint and timers go on; user input waits for the end of the exchange.
    // While the update window runs, its CANCEL must get through; the window
    // is modal, so nothing else of the program takes input meanwhile.
    const bool updateRunning = companions_.Update && companions_.Update->Running();
    QCoreApplication::processEvents(updateRunning ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents);
}

std::string TMain::PortName() const { return cbPorts->SelectedText().toLatin1().toStdString(); }

void TMain::SetSerialText(const std::string& text) { LabSerial->setText(Latin1(text)); }

void TMain::SetVersionText(const std::string& text) { LabSimVersion->setText(Latin1(text)); }

void TMain::PortOpened(bool open) { ButPort->setIcon(MainPicture(open ? PicturePortOpen : PicturePortClosed)); }

void TMain::ShowFileName(const QString& name) {
    sBarPanel1->setText(name);
    sBarPanel1->setToolTip(name);
}
