#include "PortComboBox.h"

#include "serial/StrNatComp.h"

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

QStringList OfferedPorts(std::vector<std::string> listed, std::vector<std::string> named) {
    SortPorts(listed);
    SortPorts(named);
    QStringList items;
    for (const std::string& port : listed) items << QString::fromLatin1(port);
    for (const std::string& port : named) {
        const QString name = QString::fromLatin1(port);
        if (!name.isEmpty() && !items.contains(name, Qt::CaseInsensitive)) items << name;
    }
    return items;
}
