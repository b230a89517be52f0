#pragma once
// The main window's frame: menu, tool bar, port selector, status bar, the
// "Simulator-Info" group and the page that holds the trouble-code editor
// (EditorPanel). It owns the carried firmware image and the simulator's
// reported state, is the link's host, and hands the values of its controls
// to the use cases of link/. The connection scheduler is its StepDriver;
// the remote-mode flag is the link's own.
//
// A close request during an exchange (see StepDriver) waits for its end, so
// the port is never pulled from under a running exchange.

#include "StartOptions.h"
#include "StepDriver.h"

#include "link/FirmwareImage.h"
#include "link/LinkHost.h"
#include "link/SchedulerState.h"
#include "link/SimulatorState.h"

#include "base/CfgSetup.h"

#include <QMainWindow>
#include <QString>

#include <memory>
#include <string>
#include <vector>

struct CfgValues;
class EditorPanel;
class IniFile;
class QAction;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QTabWidget;
class QToolButton;
class SevenSegmentDigit;
class TAbout;
class TComIo;
class TDebug;
class TFileIo;
class TMsgBox;
class TPortComboBox;
class TUpdateDialog;
class WindowPlacement;

class TMain : public QMainWindow, public ILinkHost {
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

    // What the scheduler's steps need of the frame.
    bool MayStep() const;  // an image to offer and the window not closed
    void ShowConnected(bool connected);
    void OfferForcedUpdate();
    // The selector's selected entry (never unconfirmed typing): the port the
    // link opens and the one saved at the close.
    std::string PortName() const;
    // Runs the update window; Search, Stopped or UpdateFailed.
    SchedulerState RunUpdate(SchedulerState kind);
    // The failure message; the program ends after it.
    void ShowUpdateFailed();

    // The configuration file's name in the status bar's second panel; the
    // panel is narrow, so the whole name is also its tooltip.
    void ShowFileName(const QString& name);
    // Remote mode as the link keeps it (off without a link).
    bool RemoteModeFlag() const;

    EditorPanel& Editor() { return *editor_; }
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

    // The first showing restores the placement before the window is created.
    void setVisible(bool visible) override;

signals:
    // Each status text as it is set (the empty text when it is cleared).
    void StatusTextChanged(const QString& text);
    // The window has closed for good (after the close handler): the program ends.
    void Closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void BuildFrame();
    void BuildMenuAndToolBar();
    void BuildInfoGroup(QWidget* parent);
    void BuildMainPanel(QWidget* parent);
    void FillPorts();
    void SelectStartPort(const std::string& savedPort);
    void ExchangeEnded();
    void RestorePlacement();
    // The protocol and ECU-count selectors (protocol 1..9, count 1..2; any
    // other value leaves a selector without selection).
    void SelectProtocol(int protocol, int ecuCount);
    // The set-up the window shows: the selectors and the editor.
    CfgSetup ReadSetup() const;
    // SEND's collection: SEND disabled until the next status read, then
    // the set-up read from the controls.
    CfgSetup CollectForSend();
    // An opened file applied to the simulator, as the user would.
    void ApplyFile(const CfgValues& values);

    TStartOptions options_;
    FirmwareImage image_;
    SimulatorState simState_;
    StepDriver steps_{*this};
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
    // Port names typed and confirmed in this run, as typed.
    std::vector<std::string> typedPorts_;

    // Controls, named as their object names.
    QAction* MnuOpenCfg = nullptr;
    QAction* MnuSaveCfg = nullptr;
    QAction* MnuExit = nullptr;
    QAction* MnuReload = nullptr;
    QAction* MnuForceUpdate = nullptr;
    QAction* MnuAbout = nullptr;
    QToolButton* ButPort = nullptr;
    TPortComboBox* cbPorts = nullptr;
    QLabel* sBarPanel0 = nullptr;
    QLabel* sBarPanel1 = nullptr;
    QGroupBox* GrpInfo = nullptr;
    QLabel* LabSerial = nullptr;
    QLabel* LabSimVersion = nullptr;
    QComboBox* cbActProto = nullptr;
    QComboBox* cbEcuCount = nullptr;
    SevenSegmentDigit* Seg7 = nullptr;
    QLabel* ImgMilOn = nullptr;
    QLabel* ImgMilOff = nullptr;
    QLabel* DtcLabel = nullptr;
    QFrame* MainPanel = nullptr;
    QTabWidget* PageControl = nullptr;
    EditorPanel* editor_ = nullptr;
};
