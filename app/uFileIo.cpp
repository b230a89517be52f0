#include "uFileIo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QWidget>

namespace {

const char* const CodeTextProperty = "codeText";

QString SlotName(const char* kind, int ecu, int slot) {
    return QString::asprintf("%s%d%02d", kind, ecu, slot);
}

void PrepareDialog(QFileDialog& dialog, const QString& title) {
    dialog.setWindowTitle(title);
    dialog.setNameFilter(QStringLiteral("Karnol-Simulator config (*.kns)"));
    dialog.setDefaultSuffix(QStringLiteral("kns"));
}

// An index the selector does not have leaves it without selection.
void SetIndex(QComboBox* box, int index) {
    if (!box) return;
    const QSignalBlocker block(box);
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

int IndexOf(const QComboBox* box) { return box ? box->currentIndex() : -1; }

bool HasCodeTextProperty(const QWidget* w) { return w->metaObject()->indexOfProperty(CodeTextProperty) >= 0; }

std::string CodeTextOf(const QWidget* w) {
    if (!w) return std::string();
    if (HasCodeTextProperty(w)) return w->property(CodeTextProperty).toByteArray().toStdString();
    if (const auto* edit = qobject_cast<const QLineEdit*>(w)) return edit->text().toLatin1().toStdString();
    return std::string();
}

void SetCodeText(QWidget* w, const std::string& text) {
    if (!w) return;
    const QSignalBlocker block(w);
    if (HasCodeTextProperty(w))
        w->setProperty(CodeTextProperty, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    else if (auto* edit = qobject_cast<QLineEdit*>(w))
        edit->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
}

QString ShownName(const QString& path) { return QFileInfo(path).fileName(); }

// Messages are single-byte texts shown as Latin-1; a path in the file
// system's encoding (UTF-8) would show every umlaut as two odd characters.
std::string MessagePath(const QString& path) { return path.toLatin1().toStdString(); }

}  // namespace

TFileIo::TFileIo(QWidget& form, std::function<void()> setProto, std::function<void()> send,
                 std::function<void(const QString&)> showFileName, std::uint32_t versionWord)
    : form_(form),
      setProto_(std::move(setProto)),
      send_(std::move(send)),
      showFileName_(std::move(showFileName)),
      versionWord_(versionWord) {}

TFileIo::~TFileIo() = default;

QFileDialog& TFileIo::SaveDlg() {
    if (!saveDlg_) {
        saveDlg_ = std::make_unique<QFileDialog>(&form_);
        PrepareDialog(*saveDlg_, QStringLiteral("Save configuration as..."));
        saveDlg_->setAcceptMode(QFileDialog::AcceptSave);
        saveDlg_->setFileMode(QFileDialog::AnyFile);
        saveDlg_->setOption(QFileDialog::DontConfirmOverwrite, true);
    }
    return *saveDlg_;
}

QFileDialog& TFileIo::OpenDlg() {
    if (!openDlg_) {
        openDlg_ = std::make_unique<QFileDialog>(&form_);
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
    return cfgFileName.empty() ? QStringLiteral("Config") : QFile::decodeName(cfgFileName.c_str());
}

CfgSetup TFileIo::ReadControls(const QWidget& form_) {
    CfgSetup s;
    s.Protocol = IndexOf(form_.findChild<QComboBox*>("cbActProto")) + 1;
    s.EcuCount = IndexOf(form_.findChild<QComboBox*>("cbEcuCount")) + 1;
    const auto* mil = form_.findChild<QCheckBox*>("chkMilOn");
    s.MilOn = mil && mil->isChecked();
    s.Count1 = IndexOf(form_.findChild<QComboBox*>("cbDtc1"));
    s.Count2 = IndexOf(form_.findChild<QComboBox*>("cbDtc2"));
    for (int n = 1; n <= DtcSlots; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        for (int ecu = 1; ecu <= 2; ++ecu) {
            DtcSlot& slot = ecu == 1 ? s.Ecu1[i] : s.Ecu2[i];
            slot.Category = IndexOf(form_.findChild<QComboBox*>(SlotName("cbD", ecu, n)));
            slot.Text = CodeTextOf(form_.findChild<QWidget*>(SlotName("edD", ecu, n)));
        }
    }
    return s;
}

void TFileIo::ApplySelectors(const CfgValues& values) {
    SetIndex(form_.findChild<QComboBox*>("cbActProto"), values.Protocol - 1);
    SetIndex(form_.findChild<QComboBox*>("cbEcuCount"), values.EcuCount - 1);
}

void TFileIo::ApplyCodes(const CfgValues& values) {
    if (auto* mil = form_.findChild<QCheckBox*>("chkMilOn")) {
        const QSignalBlocker block(mil);
        mil->setChecked(values.MilOn);
    }
    SetIndex(form_.findChild<QComboBox*>("cbDtc1"), values.Count1);
    SetIndex(form_.findChild<QComboBox*>("cbDtc2"), values.Count2);
    for (int n = 1; n <= DtcSlots; ++n) {
        const auto i = static_cast<std::size_t>(n - 1);
        for (int ecu = 1; ecu <= 2; ++ecu) {
            const auto& slot = ecu == 1 ? values.Ecu1[i] : values.Ecu2[i];
            if (!slot) continue;  // no usable category: the slot stays as it is
            SetIndex(form_.findChild<QComboBox*>(SlotName("cbD", ecu, n)), slot->Category);
            SetCodeText(form_.findChild<QWidget*>(SlotName("edD", ecu, n)), slot->Text);
        }
    }
}

void TFileIo::SaveCfgAs() {
    // The proposal sticks even when the dialog is cancelled, so a later open
    // proposes it too.
    if (CfgFileName.empty()) CfgFileName = "Config";
    const QString chosen = Choose(SaveDlg(), ProposedSaveName(CfgFileName));
    if (chosen.isEmpty()) return;
    CfgFileName = QFile::encodeName(chosen).toStdString();
    file_.Save(CfgFileName, ReadControls(), versionWord_, MessagePath(chosen));
    // Named only once it is written, so the panel never shows a file that
    // does not hold the set-up.
    if (showFileName_) showFileName_(ShownName(chosen));
}

void TFileIo::OpenCfg() {
    const QString chosen = Choose(OpenDlg(), QFile::decodeName(CfgFileName.c_str()));
    if (chosen.isEmpty()) return;
    CfgFileName = QFile::encodeName(chosen).toStdString();
    if (showFileName_) showFileName_(ShownName(chosen));
    // Everything is read before any control changes, so a bad file leaves
    // the window as it was.
    const CfgValues values = file_.Open(CfgFileName, MessagePath(chosen));
    ApplySelectors(values);
    if (setProto_) setProto_();
    ApplyCodes(values);
    if (send_) send_();
}
