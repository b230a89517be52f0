#include "CodeEdit.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>

TCodeEdit::TCodeEdit(QWidget* parent) : QLineEdit(parent) {}
std::string TCodeEdit::CodeText() const { return "    "; }
void TCodeEdit::SetCodeText(const std::string&) {}
bool TCodeEdit::IsValidCode() const { return false; }
QByteArray TCodeEdit::CodeTextBytes() const { return QByteArray::fromStdString(CodeText()); }
void TCodeEdit::SetCodeTextBytes(const QByteArray& bytes) { SetCodeText(bytes.toStdString()); }
void TCodeEdit::SetDisabledColor(const QColor& color) { disabledColor_ = color; }
bool TCodeEdit::event(QEvent* event) { return QLineEdit::event(event); }
void TCodeEdit::keyPressEvent(QKeyEvent* event) { QLineEdit::keyPressEvent(event); }
void TCodeEdit::focusInEvent(QFocusEvent* event) { QLineEdit::focusInEvent(event); }
void TCodeEdit::mousePressEvent(QMouseEvent* event) { QLineEdit::mousePressEvent(event); }
void TCodeEdit::EnterMaskedMode() {}
void TCodeEdit::EnterInvalidMode(const QString&) {}
bool TCodeEdit::IsSwallowedKey(int) { return false; }
bool TCodeEdit::EditsText(QKeyEvent*) { return false; }
