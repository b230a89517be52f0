#pragma once
// A running program for window tests: the emulated simulator on a
// pseudo-terminal, the port list replaced so that only such ports are offered
// (never the machine's own), a settings file in a temporary folder, error
// boxes recorded instead of shown, and the program's windows and modules.

#include "app/Forms.h"
#include "app/uMain.h"

#include "emu/EmulatedSimulator.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Processes events until pred holds or timeoutMs has passed; the result of pred.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
// Processes events for ms milliseconds.
void Pump(int ms);

class AppHarness {
public:
    explicit AppHarness(EmulatorOptions emulator = {});
    ~AppHarness();

    // Replaces the offered ports (the emulator's path is what Start offers).
    void SetPorts(std::vector<std::string> ports);
    // Writes the settings file before the program starts.
    void WriteSettings(const std::string& text);
    // Creates the windows and shows the main window, as the program does.
    void Start(TStartOptions options = {});
    // Start, then wait until the scheduler polls.
    void StartConnected(TStartOptions options = {});

    TMain& Main() { return forms_->Main(); }
    TForms& Forms() { return *forms_; }
    EmulatedSimulator& Emulator() { return *emulator_; }
    std::string Port() const { return emulator_->PortPath(); }
    QString SettingsPath() const;
    std::string SettingsText() const;

    // Commands the emulator received since the last ClearLog.
    std::vector<std::string> Log() const { return emulator_->Log(); }
    std::vector<std::string> Commands() const;  // only the "!" lines
    bool WaitForCommand(const std::string& command, int timeoutMs = 5000);

    QStringList StatusTexts;  // every status text set, in order
    QStringList ErrorBoxes;   // texts of the error boxes "shown"
    QStringList ErrorCaptions;

private:
    std::unique_ptr<EmulatedSimulator> emulator_;
    std::unique_ptr<TForms> forms_;
    QTemporaryDir folder_;
    std::vector<std::string> ports_;
};
