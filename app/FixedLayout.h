#pragma once
// Controls placed at fixed pixels, as the main window's layout was drawn:
// labels and drop-down lists with the look the window's parts share.

#include <QColor>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QWidget;

constexpr int ControlHeight = 21;

// A label at (x, y) sized to its text; name, when given, is its object name.
QLabel* AddLabel(QWidget* parent, const QString& text, int x, int y, const QColor& colour = QColor(Qt::black),
                 const char* name = nullptr);
// A drop-down list of the items, without selection.
QComboBox* AddCombo(QWidget* parent, const QString& name, int x, int y, int width, const QStringList& items);
