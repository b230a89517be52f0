#include "CodeEdit.h"

#include "WindowLook.h"

#include "base/TroubleCode.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMouseEvent>
#include <QValidator>

namespace {

constexpr QChar Blank = u'_';               // shown for an unfilled position
const QString CodeMask = QStringLiteral(">HHHH;_");  // four hex positions, uppercase

// A character outside Latin-1 comes back as 0, which fits no position.
bool FitsPosition(qsizetype position, QChar c) {
    return FitsCodePosition(static_cast<std::size_t>(position), c.toLatin1());
}

bool IsBlank(QChar c) { return c == Blank || c == u' '; }

// The mask alone would take any hexadecimal digit; a code's number has 14
// bits, so its first digit is 0 to 3. Rejecting the rest here means the field
// never shows a code that the simulator would receive differently.
class CodeValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (qsizetype i = 0; i < input.size(); ++i) {
            const QChar c = input.at(i);
            if (!IsBlank(c) && !FitsPosition(i, c)) return Invalid;
        }
        return input.size() == TCodeEdit::CodeLength && !input.contains(Blank) && !input.contains(u' ')
                   ? Acceptable
                   : Intermediate;
    }
};

// While a stored text that cannot be typed is shown, nothing but that text is
// acceptable; the first key that edits switches the field back to the mask.
class KeepTextValidator : public QValidator {
public:
    KeepTextValidator(QString text, QObject* parent) : QValidator(parent), text_(std::move(text)) {}
    State validate(QString& input, int&) const override { return input == text_ ? Acceptable : Invalid; }

private:
    QString text_;
};

// Can the text be held by the masked field without changing it? Four
// positions, each a hexadecimal digit or a blank, the first digit 0 to 3.
bool FitsMask(const QString& text) {
    if (text.isEmpty()) return true;  // a fresh field
    if (text.size() != TCodeEdit::CodeLength) return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (!IsBlank(c) && !FitsPosition(i, c)) return false;
    }
    return true;
}

}  // namespace

TCodeEdit::TCodeEdit(QWidget* parent) : QLineEdit(parent) {
    setAlignment(Qt::AlignCenter);
    resize(41, sizeHint().height());
    disabledColor_ = palette().color(QPalette::Active, QPalette::Window);
    SetDisabledColor(disabledColor_);
    EnterMaskedMode();
}

void TCodeEdit::EnterMaskedMode() {
    const bool wasInvalid = invalid_;
    invalid_ = false;
    if (wasInvalid || inputMask() != CodeMask) {
        setValidator(nullptr);
        setInputMask(CodeMask);
        setText(QString());
        setValidator(new CodeValidator(this));
    }
    if (wasInvalid) {
        QPalette pal = palette();
        pal.setColor(QPalette::Active, QPalette::Text, QApplication::palette().color(QPalette::Active, QPalette::Text));
        pal.setColor(QPalette::Inactive, QPalette::Text, QApplication::palette().color(QPalette::Inactive, QPalette::Text));
        setPalette(pal);
        setToolTip(QString());
    }
}

void TCodeEdit::EnterInvalidMode(const QString& text) {
    invalid_ = true;
    setValidator(nullptr);
    setInputMask(QString());
    setMaxLength(std::max<int>(CodeLength, static_cast<int>(text.size())));
    setText(text);
    setValidator(new KeepTextValidator(text, this));
    QPalette pal = palette();
    pal.setColor(QPalette::Active, QPalette::Text, Qt::red);
    pal.setColor(QPalette::Inactive, QPalette::Text, Qt::red);
    setPalette(pal);
    setToolTip(tr("Not a valid trouble code: four hexadecimal digits, the first 0 to 3"));
}

std::string TCodeEdit::CodeText() const {
    if (invalid_) return text().toLatin1().toStdString();
    QString shown = displayText();
    shown.replace(Blank, u' ');
    while (shown.size() < CodeLength) shown.append(u' ');
    return shown.toLatin1().toStdString();
}

void TCodeEdit::SetCodeText(const std::string& text) {
    const QString value = Latin1(text);
    if (!FitsMask(value)) {
        EnterInvalidMode(value);
        return;
    }
    EnterMaskedMode();
    // The mask would close up the gaps of a text with blanks ("1 3 " becomes
    // "13__"), so each digit is placed at its own position.
    setText(QString());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (IsBlank(value.at(i))) continue;
        setCursorPosition(static_cast<int>(i));
        insert(QString(value.at(i)));
    }
    setCursorPosition(0);
}

bool TCodeEdit::IsValidCode() const {
    return !invalid_ && IsValidCodeText(CodeText());
}

void TCodeEdit::SetDisabledColor(const QColor& color) {
    disabledColor_ = color;
    QPalette pal = palette();
    pal.setColor(QPalette::Disabled, QPalette::Base, color);
    setPalette(pal);
}

bool TCodeEdit::IsSwallowedKey(int key) {
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape;
}

bool TCodeEdit::EditsText(QKeyEvent* event) {
    if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) return true;
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut)) return true;
    const QString text = event->text();
    return !text.isEmpty() && text.at(0).isPrint();
}

bool TCodeEdit::event(QEvent* event) {
    // Claim Enter and Escape before shortcuts see them, so that no default
    // button or window shortcut fires from inside the field.
    if (event->type() == QEvent::ShortcutOverride) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (IsSwallowedKey(key->key())) {
            event->accept();
            return true;
        }
    }
    return QLineEdit::event(event);
}

void TCodeEdit::keyPressEvent(QKeyEvent* event) {
    selectOnNextPress_ = false;
    if (IsSwallowedKey(event->key())) {
        QApplication::beep();
        event->accept();
        return;
    }
    if (invalid_ && EditsText(event)) {
        // The kept text cannot be edited in place: start from an empty code.
        EnterMaskedMode();
        setCursorPosition(0);
        if (event->key() == Qt::Key_Backspace || event->key() == Qt::Key_Delete) {
            event->accept();
            return;
        }
    }
    QLineEdit::keyPressEvent(event);
}

void TCodeEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    // The press that brought the focus is handled after this and would place
    // the cursor; it selects everything again instead.
    // A press with another button (the context menu) clears the flag below.
    selectOnNextPress_ = event->reason() == Qt::MouseFocusReason;
}

void TCodeEdit::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    const bool select = selectOnNextPress_ && event->button() == Qt::LeftButton;
    selectOnNextPress_ = false;
    if (select) selectAll();
}
