#pragma once
// The program's windows and modules, created once in a fixed order and kept
// for the whole run: the main window, the debug log, the message box, the
// simulator link with its firmware-update window, the about window and the
// configuration-file module. The main window comes first (its creation
// handler runs before the others exist); they are destroyed in reverse order,
// so the main window, which the others report to, outlives them all.

#include "StartOptions.h"

#include <memory>

class TAbout;
class FirmwareUpdate;
class TComIo;
class TDebug;
class TFileIo;
class TMain;
class TMsgBox;
class TUpdateDialog;

class TForms {
public:
    explicit TForms(const TStartOptions& options);
    ~TForms();
    TForms(const TForms&) = delete;
    TForms& operator=(const TForms&) = delete;

    TMain& Main() { return *main_; }
    TDebug& Debug() { return *debug_; }
    TMsgBox& MsgBox() { return *msgBox_; }
    TComIo& ComIo() { return *comIo_; }
    FirmwareUpdate& Firmware() { return *firmwareUpdate_; }
    TUpdateDialog& Update() { return *update_; }
    TAbout& About() { return *about_; }
    TFileIo& FileIo() { return *fileIo_; }

private:
    std::unique_ptr<TMain> main_;
    std::unique_ptr<TDebug> debug_;
    std::unique_ptr<TMsgBox> msgBox_;
    std::unique_ptr<TComIo> comIo_;
    std::unique_ptr<FirmwareUpdate> firmwareUpdate_;
    std::unique_ptr<TUpdateDialog> update_;
    std::unique_ptr<TAbout> about_;
    std::unique_ptr<TFileIo> fileIo_;
};
