#include "uFileIo.h"

#include "FileNameText.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QWidget>

namespace {

void PrepareDialog(QFileDialog& dialog, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.setNameFilter(QStringLiteral("Karnol-Simulator config (*.kns)"));
    dialog.setDefaultSuffix(QStringLiteral("kns"));
}

// Messages are single-byte texts shown as Latin-1; a path in the file
// system's encoding (UTF-8) would show every umlaut as two odd characters.
std::string MessagePath(const QString& path) { return path.toLatin1().toStdString(); }

}  // namespace

TFileIo::TFileIo(QWidget& owner, std::uint32_t versionWord) : owner_(owner), versionWord_(versionWord) {}

TFileIo::~TFileIo() = default;

QFileDialog& TFileIo::SaveDlg() {
    if (!saveDlg_) {
        saveDlg_ = std::make_unique<QFileDialog>(&owner_);
        PrepareDialog(*saveDlg_, QStringLiteral("Save configuration as..."));
        saveDlg_->setAcceptMode(QFileDialog::AcceptSave);
        saveDlg_->setFileMode(QFileDialog::AnyFile);
        saveDlg_->setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    return *saveDlg_;
}

QFileDialog& TFileIo::OpenDlg() {
    if (!openDlg_) {
        openDlg_ = std::make_unique<QFileDialog>(&owner_);
        PrepareDialog(*openDlg_, QStringLiteral("Open configuration..."));
        openDlg_->setAcceptMode(QFileDialog::AcceptOpen);
        // A name typed into the dialog need not exist: it opens as empty.
        openDlg_->setFileMode(QFileDialog::AnyFile);
    }
    return *openDlg_;
}

QString TFileIo::Choose(QFileDialog& dialog, const QString& proposed) {
    if (runDialog_) return runDialog_(dialog, proposed);
    dialog.selectFile(proposed);
    if (dialog.exec() != QDialog::Accepted) return QString();
    const QStringList files = dialog.selectedFiles();
    return files.isEmpty() ? QString() : files.first();
}

QString TFileIo::ProposedSaveName(const std::string& cfgFileName) {
    return cfgFileName.empty() ? QStringLiteral("Config") : FileNameText(cfgFileName);
}

QString TFileIo::ShownName(const QString& path) { return QFileInfo(path).fileName(); }

QString TFileIo::ChooseSave() {
    // The proposal sticks even when the dialog is cancelled, so a later open
    // proposes it too.
    if (CfgFileName.empty()) CfgFileName = "Config";
    const QString chosen = Choose(SaveDlg(), ProposedSaveName(CfgFileName));
    if (!chosen.isEmpty()) CfgFileName = FileNameBytes(chosen);
    return chosen;
}

void TFileIo::Save(const QString& path, const CfgSetup& setup) {
    file_.Save(FileNameBytes(path), setup, versionWord_, MessagePath(path));
}

QString TFileIo::ChooseOpen() {
    const QString chosen = Choose(OpenDlg(), FileNameText(CfgFileName));
    if (!chosen.isEmpty()) CfgFileName = FileNameBytes(chosen);
    return chosen;
}

CfgValues TFileIo::Open(const QString& path) {
    return file_.Open(FileNameBytes(path), MessagePath(path));
}
