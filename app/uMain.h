#pragma once
// The main window: frame, menu, tool bar, port selector and status bar, the
// timer-driven connection scheduler, the status display and the trouble-code
// editor. It owns the carried firmware image, the simulator's reported state,
// the scheduler state and the remote-mode flag, and is the link's host.
//
// Re-entrancy: every call into the link runs inside one "exchange" (see
// ExchangeRunning). While it runs, pending messages are processed without
// user input, so the window stays painted but a click or a key waits until
// the exchange is over; a scheduler tick that finds an exchange running
// re-arms itself instead of starting a second one, and a close request waits
// for the end of the exchange. Two exchanges therefore never interleave on
// the wire.

#include "StartOptions.h"

#include "link/Connection.h"
#include "link/FirmwareImage.h"
#include "link/LinkHost.h"
#include "link/SchedulerState.h"
#include "link/SimulatorState.h"

#include <QMainWindow>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <string>

class IniFile;
class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QPushButton;
class QTabWidget;
class QToolButton;
class SevenSegmentDigit;
class TAbout;
class TCodeEdit;
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
    static constexpr int FirstStepDelay = Connection::FirstStepDelay;
    static constexpr int StepInterval = Connection::StepInterval;
    static constexpr int PollInterval = Connection::PollInterval;

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

    // Scheduler and frame.
    void Scheduler();
    void ShowConnected(bool connected);
    void RestartPortClick();
    void cbPortsChange();
    void ForceUpdateClick();
    void cbPortsDropDown();
    void MnuExitClick();
    void MnuAboutClick();
    void MnuSaveCfgAsClick();
    void MnuOpenCfgClick();

    // Trouble-code editor.
    void cbDtcChange();
    void ButSendDtcClick();
    void SetProto();

    // ILinkHost
    void PanelInfo(const std::string& text) override;
    void ProcessMessages() override;
    void ShowStatus() override;
    void ShowConfiguration() override;
    // The port the selector shows, handed to the link's open operations.
    std::string PortName() const;
    void SetSerialText(const std::string& text) override;
    void SetVersionText(const std::string& text) override;
    void SetPortPicture(int index) override;
    // The configuration file's name in the status bar's second panel; the
    // panel is narrow, so the whole name is also its tooltip.
    void ShowFileName(const QString& name);
    // Remote mode as the link keeps it (off without a link).
    bool RemoteModeFlag() const;

    // The two controls of a trouble-code slot (ECU 1 or 2, slot 1 to 10),
    // found by their composed names; null when there is no such slot.
    struct SlotPair {
        QComboBox* Category = nullptr;
        TCodeEdit* Code = nullptr;
    };
    SlotPair SlotControls(int ecu, int slot) const;
    // The names of a slot's controls: "cbD105" and "edD105" for ECU 1, slot 5.
    static QString SlotCategoryName(int ecu, int slot);
    static QString SlotCodeName(int ecu, int slot);

    SchedulerState State() const { return state_; }
    void SetState(SchedulerState state) { state_ = state; }
    SimulatorState& SimState() { return simState_; }
    const FirmwareImage& Image() const { return image_; }
    const QString& Title() const { return title_; }
    QString ProgramFolder() const { return programFolder_; }
    QString SettingsFileName() const { return settingsFile_; }
    IniFile& Settings() { return *settings_; }
    QTimer& Timer1() { return timer1_; }
    bool ExchangeRunning() const { return exchangeDepth_ > 0; }
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
    // Marks one call into the link. Nested marks count; when the outermost
    // ends, a close that arrived meanwhile is carried out.
    class Exchange {
    public:
        explicit Exchange(TMain& window) : window_(window) { ++window_.exchangeDepth_; }
        ~Exchange() {
            if (--window_.exchangeDepth_ == 0) window_.ExchangeEnded();
        }
        Exchange(const Exchange&) = delete;
        Exchange& operator=(const Exchange&) = delete;

    private:
        TMain& window_;
    };

    void FormCreate();
    void FormShow();
    void FormClose();
    void BuildFrame();
    void BuildMenuAndToolBar();
    void BuildInfoGroup(QWidget* parent);
    void BuildMainPanel(QWidget* parent);
    QGroupBox* BuildDtcGroup(QWidget* parent, int ecu, int top);
    void FillPorts();
    void SelectStartPort(const std::string& savedPort);
    void ExchangeEnded();
    void RestorePlacement();

    TStartOptions options_;
    FirmwareImage image_;
    SimulatorState simState_;
    SchedulerState state_ = SchedulerState::Search;
    std::unique_ptr<Connection> connection_;  // while a link is attached
    QString title_;
    QString programFolder_;
    QString settingsFile_;
    std::unique_ptr<IniFile> settings_;
    std::unique_ptr<WindowPlacement> placement_;
    QTimer timer1_;
    Companions companions_;
    int exchangeDepth_ = 0;
    bool closePending_ = false;
    bool shown_ = false;
    bool placementRestored_ = false;
    bool closed_ = false;
    bool developerMode_ = false;

public:
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
    QGroupBox* GrpDtc1 = nullptr;
    QGroupBox* GrpDtc2 = nullptr;
    QComboBox* cbDtc1 = nullptr;
    QComboBox* cbDtc2 = nullptr;
    QCheckBox* chkMilOn = nullptr;
    QPushButton* ButSendDtc = nullptr;
};
