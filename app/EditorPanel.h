#pragma once
// The trouble-code editor: the "Troublecodes" page of the main window with
// ten slots per ECU (a category selector and a code field each), the two
// count selectors, "MIL on" and SEND. It reads into and shows the set-up
// value; the protocol and ECU count are the frame's selectors, not the
// panel's. Its controls carry their object names ("cbD101", "edD101",
// "cbDtc1", "chkMilOn", "ButSendDtc", ...) for accessibility and checks;
// the panel holds them, nobody looks them up by name.

#include "base/CfgSetup.h"
#include "base/TroubleCode.h"

#include <QWidget>

#include <array>
#include <string>

class QCheckBox;
class QComboBox;
class QFont;
class QGroupBox;
class QPushButton;
class TCodeEdit;

class EditorPanel : public QWidget {
    Q_OBJECT

public:
    explicit EditorPanel(QWidget* parent = nullptr);

    // The set-up the controls hold now (Protocol and EcuCount left 0).
    [[nodiscard]] CfgSetup Read() const;
    // Shows a set-up's MIL, counts and slots; an index the selectors do not
    // have leaves them without selection. Runs no change handler.
    void Show(const CfgSetup& setup);
    // The group titles, and whether the second ECU's group is shown.
    void ShowEcus(const std::string& title1, const std::string& title2, bool secondEcu);
    void SetSendEnabled(bool enabled);

    // Change handler of both count selectors: "MIL on" follows the counts.
    void cbDtcChange();

    // A slot's controls (ECU 1 or 2, slot 1 to 10), null for any other.
    QComboBox* CategoryControl(int ecu, int slot) const;
    TCodeEdit* CodeControl(int ecu, int slot) const;

signals:
    // SEND was clicked.
    void SendClicked();

private:
    using SlotRow = std::array<QComboBox*, DtcSlots>;
    using CodeRow = std::array<TCodeEdit*, DtcSlots>;

    QGroupBox* BuildDtcGroup(int ecu, int top, const QFont& labelFont);

    std::array<QGroupBox*, 2> groups_{};
    std::array<QComboBox*, 2> counts_{};
    std::array<SlotRow, 2> categories_{};
    std::array<CodeRow, 2> codes_{};
    QCheckBox* milOn_ = nullptr;
    QPushButton* send_ = nullptr;
};
