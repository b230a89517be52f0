#pragma once
// The main window's frame: menu, tool bar, port selector, status bar, the
// "Simulator-Info" group and the page that holds the trouble-code editor
// (MainFrameLayout builds them). It owns the carried firmware image and the
// simulator's reported state, is the link's host and the scheduler's
// (StepDriver), and hands the values of its controls to the use cases of
// link/ through SetupController (the set-up) and PortOffer (the ports); its
// close runs the steps of CloseSession. The remote-mode flag is the link's own.
//
// A close request during an exchange (see StepDriver) waits for its end, so
// the port is never pulled from under a running exchange.

#include "MainFrameLayout.h"
#include "SetupController.h"
#include "StartOptions.h"
#include "StepDriver.h"

#include "link/FirmwareImage.h"
#include "link/LinkHost.h"
#include "link/PortChoice.h"
#include "link/SchedulerState.h"
#include "link/SimulatorState.h"

#include "base/CfgSetup.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <optional>
#include <string>

class IniFile;
class TAbout;
class TComIo;
class TDebug;
class TFileIo;
class TMsgBox;
class TUpdateDialog;
class WindowPlacement;

class TMain : public QMainWindow, public ILinkHost, private StepHost {
    Q_OBJECT

public:
    static constexpr int ClientWidth = 634;   // below the menu bar
    static constexpr int ClientHeight = 351;

    // The creation handler (FormCreate): loads the carried image, builds the
    // title, names the settings file, builds the controls.
    explicit TMain(const TStartOptions& options, QWidget* parent = nullptr);
    ~TMain() override;

    // The windows and modules created after the main window; they exist from
    // before the first show to after the last close.
    struct Companions {
        TComIo* Link = nullptr;
        TUpdateDialog* Update = nullptr;
        TMsgBox* MsgBox = nullptr;
        TDebug* Debug = nullptr;
        TAbout* About = nullptr;
        TFileIo* FileIo = nullptr;
    };
    void Attach(const Companions& companions);
    // Forgets the link before it is destroyed (no line event may reach it then).
    void DetachLink();

    // User actions of the frame.
    void RestartPortClick();
    void cbPortsChange();
    // Enter in the selector's edit field with a name that is not listed: it
    // is offered from now on, beside the start option's, and searched at once.
    void cbPortsTyped();
    void ForceUpdateClick();
    void cbPortsDropDown();
    void MnuExitClick();
    void MnuAboutClick();
    void MnuSaveCfgAsClick();
    void MnuOpenCfgClick();

    // SEND and the protocol and ECU-count selectors.
    void ButSendDtcClick();
    void SetProto();

    // ILinkHost
    void PanelInfo(const std::string& text) override;
    void ShowFailure(const std::string& text, FailureKind kind) override;
    void ProcessMessages() override;
    bool CloseRequested() const override;
    void ShowStatus() override;
    void ShowConfiguration() override;
    void SetSerialText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void PortOpened(bool open) override;

    // StepHost
    bool MayStep() const override;
    void ShowConnected(bool connected) override;
    void OfferForcedUpdate() override;
    // The selector's selected entry (never unconfirmed typing): the port the
    // link opens and the one saved at the close.
    std::string PortName() const override;
    SchedulerState RunUpdate(SchedulerState kind) override;
    void ShowUpdateFailed() override;

    // The first showing: the placement comes back before the window exists,
    // so that its position reaches the window manager as the position of the
    // frame; then the window shows.
    void ShowFirst();

    // The configuration file's name in the status bar's second panel; the
    // panel is narrow, so the whole name is also its tooltip.
    void ShowFileName(const QString& name);
    // Remote mode as the link keeps it (off without a link).
    bool RemoteModeFlag() const;

    EditorPanel& Editor() { return *ui_.Editor; }
    SchedulerState State() const { return steps_.State(); }
    void SetState(SchedulerState state) { steps_.SetState(state); }
    QTimer& Timer1() { return steps_.Timer1(); }
    bool ExchangeRunning() const { return steps_.ExchangeRunning(); }
    SimulatorState& SimState() { return simState_; }
    const FirmwareImage& Image() const { return image_; }
    const QString& Title() const { return title_; }
    QString ProgramFolder() const { return programFolder_; }
    QString SettingsFileName() const { return settingsFile_; }
    IniFile& Settings() { return *settings_; }
    bool DeveloperMode() const { return developerMode_; }

signals:
    // Each status text as it is set (the empty text when it is cleared).
    void StatusTextChanged(const QString& text);
    // The window has closed for good (after the close handler): the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // Whether a close asked for ends a wait now: a reply's, or one of seconds.
    enum class WaitLength { Reply, Seconds };
    bool CloseEndsWait(WaitLength wait) const;
    void FormCreate();
    void FormShow();
    void FormClose();
    void ConnectControls();
    void FillPorts();
    void SelectStartPort(const std::string& port);
    void ExchangeEnded();
    void RestorePlacement();

    TStartOptions options_;
    FirmwareImage image_;
    SimulatorState simState_;
    StepDriver steps_{*this};
    MainFrameControls ui_;
    std::unique_ptr<SetupController> setup_;
    PortOffer ports_{std::nullopt, std::string()};  // with the saved port from the first show on
    QString title_;
    QString programFolder_;
    QString settingsFile_;
    std::unique_ptr<IniFile> settings_;
    std::unique_ptr<WindowPlacement> placement_;
    Companions companions_;
    bool closePending_ = false;
    bool shown_ = false;
    bool placementRestored_ = false;
    bool closed_ = false;
    bool developerMode_ = false;
};
