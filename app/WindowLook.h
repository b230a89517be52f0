#pragma once
// What the program's windows share in their look: the fonts and colours the
// fixed layouts were drawn with, the byte-string texts of the core shown as
// Latin-1, and centring one window on another.

#include <QColor>
#include <QFont>
#include <QString>

#include <string>

class QWidget;

inline const QColor Maroon(0x80, 0x00, 0x00);
inline const QColor Navy(0x00, 0x00, 0x80);

// Tahoma at 11 pixels where the machine has it, else the nearest narrow
// sans-serif face (the fixed layouts were drawn for Tahoma's widths).
QFont TahomaFont(bool bold);

// Colour of a control's text (labels, check boxes, buttons, combo boxes).
void SetTextColour(QWidget* widget, const QColor& colour);

// A text of the core (single-byte, Latin-1) as the windows show it.
QString Latin1(const std::string& text);

// Moves window so that its centre is the centre of owner's frame; does
// nothing without an owner.
void CentreOn(QWidget& window, const QWidget* owner);
