#include "EditorPanel.h"

#include "CodeEdit.h"
#include "FixedLayout.h"
#include "WindowLook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>

namespace {

constexpr int ColumnWidth = 104;
constexpr int RowHeight = 24;
constexpr int FirstRow = 20;

// Slot labels end where the category selector begins, in the 16 pixels
// between the label's place and the selector. Tahoma fits "10:" there; a
// wider face standing in for it is narrowed until it does too, so that the
// label never runs under the selector.
constexpr int SlotLabelWidth = 16;

// The widest stretch, in steps of 2 from 100 down to 52, at which "10:"
// fits (52 when none does). Every stretch tried loads a font of its own, the
// costliest part of building the window, so the search starts where the
// text's width at full stretch points (the width grows about in proportion
// to the stretch) and walks from there to the answer.
QFont SlotLabelFont(QFont font) {
    constexpr int Widest = 100;
    constexpr int Narrowest = 52;
    const QString widest = QStringLiteral("10:");
    auto fits = [&](int stretch) {
        font.setStretch(stretch);
        return QFontMetricsF(font).horizontalAdvance(widest) <= SlotLabelWidth;
    };
    font.setStretch(Widest);
    const qreal full = QFontMetricsF(font).horizontalAdvance(widest);
    if (full <= SlotLabelWidth) return font;
    int stretch = std::clamp(static_cast<int>(Widest * SlotLabelWidth / full) / 2 * 2, Narrowest, Widest - 2);
    if (fits(stretch)) {
        while (stretch + 2 < Widest && fits(stretch + 2)) stretch += 2;  // full stretch does not fit
    } else {
        while (stretch > Narrowest) {
            stretch -= 2;
            if (fits(stretch)) break;
        }
    }
    font.setStretch(stretch);
    return font;
}

// An index the selector does not have leaves it without selection. Set
// from code, it runs no change handler (those follow the user's choices).
void SetIndex(QComboBox* box, int index) {
    box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
}

}  // namespace

EditorPanel::EditorPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("TabTroublecodes"));
    // Both groups' slot labels share one narrowed font (each group's font is
    // this one, resolved against the panel's).
    const QFont labelFont = SlotLabelFont(TahomaFont(true).resolve(font()));
    groups_[0] = BuildDtcGroup(1, 2, labelFont);
    groups_[1] = BuildDtcGroup(2, 110, labelFont);

    milOn_ = new QCheckBox(QStringLiteral("MIL on"), this);
    milOn_->setObjectName(QStringLiteral("chkMilOn"));
    milOn_->setFont(TahomaFont(true));
    milOn_->move(10, 228);
    milOn_->adjustSize();

    send_ = new QPushButton(QStringLiteral("SEND"), this);
    send_->setObjectName(QStringLiteral("ButSendDtc"));
    send_->setFont(TahomaFont(true));
    send_->setGeometry(390, 224, 75, 25);
    send_->setAutoDefault(false);
    connect(send_, &QPushButton::clicked, this, [this] { emit SendClicked(); });
}

QGroupBox* EditorPanel::BuildDtcGroup(int ecu, int top, const QFont& labelFont) {
    auto* group = new QGroupBox(this);
    group->setObjectName(QStringLiteral("GrpDtc%1").arg(ecu));
    group->setFont(TahomaFont(true));
    group->setGeometry(4, top, 465, 105);
    group->setTitle(QStringLiteral("Fehlercodes ECU%1").arg(ecu));

    const QStringList categories = {QStringLiteral("P"), QStringLiteral("C"), QStringLiteral("B"), QStringLiteral("U")};
    const auto row = static_cast<std::size_t>(ecu - 1);
    QWidget* previous = nullptr;
    for (int slot = 1; slot <= DtcSlots; ++slot) {
        const int left = ((slot - 1) / 3) * ColumnWidth;
        const int y = FirstRow + ((slot - 1) % 3) * RowHeight;
        QLabel* label = AddLabel(group, QStringLiteral("%1:").arg(slot), left + 8, y, Navy);
        label->setFont(labelFont);
        label->setGeometry(left + 8, y, SlotLabelWidth, ControlHeight);
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

        // The slot controls are named "cbD"/"edD", the ECU and the slot's two
        // digits: the tests and the accessibility tree find them by these names.
        QComboBox* category =
            AddCombo(group, QString::asprintf("cbD%d%02d", ecu, slot), left + 24, y, 36, categories);
        auto* code = new TCodeEdit(group);
        code->setObjectName(QString::asprintf("edD%d%02d", ecu, slot));
        code->setGeometry(left + 62, y, 41, ControlHeight);
        categories_[row][static_cast<std::size_t>(slot - 1)] = category;
        codes_[row][static_cast<std::size_t>(slot - 1)] = code;

        if (previous) setTabOrder(previous, category);
        setTabOrder(category, code);
        previous = code;
    }

    // The count selector stands in the fourth column, below slot 10.
    const int countLeft = 3 * ColumnWidth + 24;
    AddLabel(group, QStringLiteral("Errors"), countLeft, FirstRow + RowHeight + 4, Navy);
    QComboBox* count = AddCombo(group, QStringLiteral("cbDtc%1").arg(ecu), countLeft, FirstRow + 2 * RowHeight, 49, {});
    for (int n = 0; n <= DtcSlots; ++n) count->addItem(QString::number(n));
    count->setCurrentIndex(-1);
    connect(count, &QComboBox::activated, this, [this](int) { cbDtcChange(); });
    setTabOrder(previous, count);
    counts_[row] = count;
    return group;
}

CfgSetup EditorPanel::Read() const {
    CfgSetup setup;
    setup.MilOn = milOn_->isChecked();
    setup.Count1 = counts_[0]->currentIndex();
    setup.Count2 = counts_[1]->currentIndex();
    for (std::size_t row = 0; row < 2; ++row) {
        auto& table = row == 0 ? setup.Ecu1 : setup.Ecu2;
        for (std::size_t i = 0; i < table.size(); ++i) {
            table[i].Category = categories_[row][i]->currentIndex();
            table[i].Text = codes_[row][i]->CodeText();
        }
    }
    return setup;
}

void EditorPanel::Show(const CfgSetup& setup) {
    SetIndex(counts_[0], setup.Count1);
    SetIndex(counts_[1], setup.Count2);
    for (std::size_t row = 0; row < 2; ++row) {
        const auto& table = row == 0 ? setup.Ecu1 : setup.Ecu2;
        for (std::size_t i = 0; i < table.size(); ++i) {
            SetIndex(categories_[row][i], table[i].Category);
            codes_[row][i]->SetCodeText(table[i].Text);
        }
    }
    milOn_->setChecked(setup.MilOn);
}

void EditorPanel::ShowEcus(const std::string& title1, const std::string& title2, bool secondEcu) {
    groups_[0]->setTitle(Latin1(title1));
    groups_[1]->setTitle(Latin1(title2));
    groups_[1]->setVisible(secondEcu);
}

void EditorPanel::SetSendEnabled(bool enabled) { send_->setEnabled(enabled); }

void EditorPanel::cbDtcChange() {
    milOn_->setChecked(MilFollowsCounts(counts_[0]->currentIndex(), counts_[1]->currentIndex()));
}

QComboBox* EditorPanel::CategoryControl(int ecu, int slot) const {
    if (ecu < 1 || ecu > 2 || slot < 1 || slot > DtcSlots) return nullptr;
    return categories_[static_cast<std::size_t>(ecu - 1)][static_cast<std::size_t>(slot - 1)];
}

TCodeEdit* EditorPanel::CodeControl(int ecu, int slot) const {
    if (ecu < 1 || ecu > 2 || slot < 1 || slot > DtcSlots) return nullptr;
    return codes_[static_cast<std::size_t>(ecu - 1)][static_cast<std::size_t>(slot - 1)];
}
