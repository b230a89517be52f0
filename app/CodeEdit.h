#pragma once
// The trouble-code field: four positions, hexadecimal digits only, the first
// 0 to 3, shown in uppercase and centred. Enter and Escape stay in the field
// (with a beep) instead of closing or triggering anything around it. The
// whole text is selected on entry, also when the field is entered by a click.
//
// A text set from a stored file that is not a valid code is kept as it is and
// shown marked as invalid, so that the file round-trips; the first edit by the
// user replaces it.

#include <QColor>
#include <QLineEdit>

#include <string>

class TCodeEdit : public QLineEdit {
    Q_OBJECT

public:
    static constexpr int CodeLength = 4;

    explicit TCodeEdit(QWidget* parent = nullptr);

    // Always four characters for an edited field, unfilled positions as
    // blanks ("    " for a fresh field, "12  " for two typed positions); a
    // kept invalid text comes back unchanged.
    std::string CodeText() const;
    void SetCodeText(const std::string& text);
    // Four hexadecimal digits, the first 0 to 3.
    bool IsValidCode() const;
    // The field holds a stored text that cannot be typed (shown marked).
    bool IsMarkedInvalid() const { return invalid_; }

    // Background while disabled (by default the window colour, so that a
    // disabled field looks like an enabled one).
    QColor DisabledColor() const { return disabledColor_; }
    void SetDisabledColor(const QColor& color);

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void EnterMaskedMode();
    void EnterInvalidMode(const QString& text);
    static bool IsSwallowedKey(int key);
    static bool EditsText(QKeyEvent* event);

    bool invalid_ = false;
    bool selectOnNextPress_ = false;
    QColor disabledColor_;
};
