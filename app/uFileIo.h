#pragma once
// The configuration-file commands of the main window: "Save configuration..."
// and "Open configuration...". The set-up is taken from and put into the
// main window's controls by their object names; after an open the window's
// own protocol-change and SEND handlers run as if the user had acted.
//
// Controls: QComboBox "cbActProto", "cbEcuCount", "cbDtc1", "cbDtc2",
// "cbD101".."cbD110", "cbD201".."cbD210"; QCheckBox "chkMilOn"; code fields
// "edD101".."edD210", reached through their Qt property "codeText" (a
// QByteArray of Latin-1 bytes, four characters) or, for a plain QLineEdit
// without that property, through its text. Errors are raised as EFailure.

#include "storage/CfgFile.h"
#include "storage/CfgMapping.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QFileDialog;
class QWidget;

class TFileIo {
public:
    // Runs a prepared dialog with the proposed name and returns the chosen
    // path, or the empty text when the user cancelled. Tests replace it.
    using DialogRunner = std::function<QString(QFileDialog& dialog, const QString& proposed)>;

    TFileIo(QWidget& form, std::function<void()> setProto, std::function<void()> send,
            std::function<void(const QString&)> showFileName, std::uint32_t versionWord);
    ~TFileIo();
    TFileIo(const TFileIo&) = delete;
    TFileIo& operator=(const TFileIo&) = delete;

    void SaveCfgAs();
    void OpenCfg();

    // The path last chosen in either dialog this run, in the file system's
    // encoding; empty at start, "Config" once a save dialog proposed that.
    std::string CfgFileName;

    QFileDialog& SaveDlg();
    QFileDialog& OpenDlg();
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    CfgFile& File() { return file_; }

    // The set-up the controls show now; the static form reads any form with
    // the editor's control names (the main window's SEND uses it too).
    CfgSetup ReadControls() const { return ReadControls(form_); }
    static CfgSetup ReadControls(const QWidget& form);
    // Puts values into the controls without running any change handler:
    // first the protocol and ECU count, the rest after SetProto has run.
    void ApplySelectors(const CfgValues& values);
    void ApplyCodes(const CfgValues& values);

    static QString ProposedSaveName(const std::string& cfgFileName);

private:
    QString Choose(QFileDialog& dialog, const QString& proposed);

    QWidget& form_;
    std::function<void()> setProto_;
    std::function<void()> send_;
    std::function<void(const QString&)> showFileName_;
    std::uint32_t versionWord_;
    DialogRunner runDialog_;
    std::unique_ptr<QFileDialog> saveDlg_;
    std::unique_ptr<QFileDialog> openDlg_;
    CfgFile file_;
};
