#include "PortComboBox.h"

#include <QKeyEvent>
#include <QLineEdit>

QString TPortComboBox::SelectedText() const {
    const int index = currentIndex();
    return index >= 0 ? itemText(index) : QString();
}

void TPortComboBox::RevertEdit() {
    if (QLineEdit* field = lineEdit(); field && field->text() != SelectedText()) field->setText(SelectedText());
}

void TPortComboBox::showPopup() {
    if (OnDropDown) OnDropDown();
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

void TPortComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    RevertEdit();
}
