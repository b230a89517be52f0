#include "AppTestSupport.h"

#include "app/ErrorBox.h"
#include "serial/ComPort.h"

#include <algorithm>

AppHarness::AppHarness(EmulatorOptions emulator) : emulator_(std::make_unique<EmulatedSimulator>(std::move(emulator))) {
    emulator_->Start();
    ports_ = {emulator_->PortPath()};
    TCustomComPort::SetPortListSource([this] { return ports_; });
    SetErrorBoxPresenter([this](const QString& caption, const QString& text) {
        ErrorCaptions << caption;
        ErrorBoxes << text;
    });
}

AppHarness::~AppHarness() {
    forms_.reset();
    TCustomComPort::SetPortListSource({});
    SetErrorBoxPresenter({});
    emulator_->Stop();
}

void AppHarness::SetPorts(std::vector<std::string> ports) { ports_ = std::move(ports); }

QString AppHarness::SettingsPath() const { return QString::fromStdString(folder_ / "KNSimTool.ini"); }

void AppHarness::WriteSettings(const std::string& text) { WriteFile(folder_ / "KNSimTool.ini", text); }

std::string AppHarness::SettingsText() const { return ReadFile(folder_ / "KNSimTool.ini"); }

void AppHarness::Start(TStartOptions options) {
    if (options.SettingsFile.isEmpty()) options.SettingsFile = SettingsPath();
    if (!options.DevelopmentWindowPresent) options.DevelopmentWindowPresent = [] { return false; };
    forms_ = std::make_unique<TForms>(options);
    QObject::connect(&forms_->Main(), &TMain::StatusTextChanged, [this](const QString& text) { StatusTexts << text; });
    forms_->Main().ShowFirst();
}

void AppHarness::StartConnected(TStartOptions options) {
    Start(std::move(options));
    WaitWithEvents([this] { return Main().State() == SchedulerState::Polling; });
}

std::vector<std::string> AppHarness::Commands() const {
    std::vector<std::string> commands;
    for (const std::string& entry : emulator_->Log()) {
        if (!entry.empty() && entry.front() == '!') commands.push_back(entry);
    }
    return commands;
}

bool AppHarness::WaitForCommand(const std::string& command, int timeoutMs) {
    // The window's scheduler runs on this thread: wait by processing events.
    return WaitWithEvents(
        [&] {
            const auto log = emulator_->Log();
            return std::find(log.begin(), log.end(), command) != log.end();
        },
        timeoutMs);
}
