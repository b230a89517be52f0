#include "FixedLayout.h"

#include "WindowLook.h"

#include <QComboBox>
#include <QLabel>

QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y, const QColor& colour, const char* name) {
    auto* label = new QLabel(text, parent);
    if (name) label->setObjectName(QLatin1String(name));
    label->move(x, y);
    label->adjustSize();
    SetTextColour(label, colour);
    return label;
}

QComboBox* AddCombo(QWidget* parent, const QString& name, int x, int y, int width, const QStringList& items) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    combo->addItems(items);
    combo->setCurrentIndex(-1);
    combo->setGeometry(x, y, width, ControlHeight);
    return combo;
}
