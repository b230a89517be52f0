#pragma once
// The configuration files of the main window's "Save configuration..." and
// "Open configuration...": the two dialogs, the name last chosen, and the
// document the set-up is written into and read from. The window collects
// the set-up from its controls and applies what a file says; this module
// never touches a control. Errors are raised as EFailure.

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

    // The dialogs belong to owner; versionWord goes into every saved file.
    TFileIo(QWidget& owner, std::uint32_t versionWord);
    ~TFileIo();
    TFileIo(const TFileIo&) = delete;
    TFileIo& operator=(const TFileIo&) = delete;

    // The save dialog, proposing the last name ("Config" at first): the
    // chosen path, or empty when cancelled. A choice becomes CfgFileName.
    [[nodiscard]] QString ChooseSave();
    // Writes the set-up into the document bound to path and the file.
    void Save(const QString& path, const CfgSetup& setup);
    // The open dialog, proposing the last name: as ChooseSave.
    [[nodiscard]] QString ChooseOpen();
    // Reads the file anew (a missing one as empty) before anything is applied.
    [[nodiscard]] CfgValues Open(const QString& path);

    // The path last chosen in either dialog this run, in the file system's
    // encoding; empty at start, "Config" once a save dialog proposed that.
    std::string CfgFileName;

    QFileDialog& SaveDlg();
    QFileDialog& OpenDlg();
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }

    CfgFile& File() { return file_; }

    static QString ProposedSaveName(const std::string& cfgFileName);
    // What the status bar shows of a path: its name without the folder.
    static QString ShownName(const QString& path);

private:
    QString Choose(QFileDialog& dialog, const QString& proposed);

    QWidget& owner_;
    std::uint32_t versionWord_;
    DialogRunner runDialog_;
    std::unique_ptr<QFileDialog> saveDlg_;
    std::unique_ptr<QFileDialog> openDlg_;
    CfgFile file_;
};
