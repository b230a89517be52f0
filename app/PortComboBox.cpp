#include "PortComboBox.h"

#include <QKeyEvent>
#include <QLineEdit>

TPortComboBox::TPortComboBox(QWidget* parent) : QComboBox(parent) {
    // The field's text changes as the user types and as an entry is
    // selected; either may change what the tool tip has to say.
    connect(this, &QComboBox::currentTextChanged, this, [this] { ShowHint(); });
    connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowHint(); });
}

QString TPortComboBox::SelectedText() const {
    const int index = currentIndex();
    return index >= 0 ? itemText(index) : QString();
}

bool TPortComboBox::Unconfirmed() const {
    const QLineEdit* field = lineEdit();
    return field && field->text() != SelectedText();
}

void TPortComboBox::RevertEdit() {
    if (Unconfirmed()) lineEdit()->setText(SelectedText());
}

void TPortComboBox::showPopup() {
    // Filling the list anew selects an entry, which writes its name into the
    // field: typing the user has not confirmed yet would be lost by a look
    // at the list.
    const bool keep = Unconfirmed();
    const QString typed = keep ? lineEdit()->text() : QString();
    if (OnDropDown) OnDropDown();
    if (keep && lineEdit()) lineEdit()->setText(typed);
    QComboBox::showPopup();
}

void TPortComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && isEditable()) {
        RevertEdit();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void TPortComboBox::ShowHint() {
    // 81 pixels cut longer names ("/dev/ttyUSB10", an address): the whole
    // name on hover, and for typing that waits, how to make it count (the
    // status bar belongs to the link's texts).
    if (Unconfirmed()) {
        QString hint = lineEdit()->text() + QStringLiteral("\nPress Enter to use this port");
        if (!SelectedText().isEmpty()) hint += QStringLiteral(", Escape for ") + SelectedText();
        setToolTip(hint);
    } else {
        setToolTip(SelectedText());
    }
}
