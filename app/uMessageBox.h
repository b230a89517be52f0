#pragma once
// The program's own message box: a tool window without frame buttons that
// builds its buttons at each call and is closed only by one of them.

#include <QDialog>
#include <QString>

#include <cstdint>
#include <vector>

class QFont;
class QFrame;
class QLabel;
class QPushButton;

// Kinds of message: default caption and icon.
enum MsgKind : std::uint8_t {
    mkWarning = 0,
    mkError = 1,
    mkInformation = 2,
    mkConfirmation = 3,
    mkMessage = 4,  // no icon
};

// Button set, a bit mask; buttons always appear in the order Close, Yes, No,
// Ok, Ignore, Abort whatever the order of the bits.
enum MsgButtons : std::uint8_t {
    mbClose = 0x08,   // "Schließen", result 2
    mbYes = 0x01,     // "Ja", result 6
    mbNo = 0x02,      // "Nein", result 7
    mbOk = 0x04,      // "Ok", result 1
    mbIgnore = 0x10,  // "Ignorieren", result 5
    mbAbort = 0x20,   // "Abbruch", result 3
};

// Dialog results (the window system's standard codes).
enum MsgResult : int {
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
};

class TMsgBox : public QDialog {
    Q_OBJECT

public:
    explicit TMsgBox(QWidget* parent = nullptr);

    // Shows the message modally and returns the result of the button
    // pressed. Refuses (raises EFailure, shows nothing) a call without any
    // button or with an unknown kind.
    int ShowMsg(const QString& text, std::uint8_t kind, const QString& caption,
                std::uint8_t buttons, bool beep);

    // The two halves of ShowMsg: Prepare arranges the window for a call
    // (icon, caption, text, size, buttons, position) without showing it;
    // Run shows it modally, frees the call's buttons and returns the result.
    void Prepare(const QString& text, std::uint8_t kind, const QString& caption,
                 std::uint8_t buttons);
    int Run();

    // Adds one button of the current call, named "But1", "But2", ... and
    // re-centres the row.
    void AddButton(const QString& caption, int result);

    int ButtonCount() const { return static_cast<int>(buttons_.size()); }
    QLabel* InfoLabel() const { return infoLabel_; }
    QLabel* Img() const { return img_; }

    // Window that the box is centred on (default: its parent's window, else
    // the application's active window).
    void SetCentreWindow(QWidget* window) { centreOn_ = window; }

    static QString DefaultCaption(std::uint8_t kind);
    // The width of a text in whole pixels as the font reports it: its widest
    // line's advance. The label and the box are sized from it.
    static int TextWidth(const QString& text, const QFont& font);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void reject() override;

private:
    void FreeButtons();
    void CentreOnOwner();

    QFrame* client_ = nullptr;  // below the caption: the parent of the controls
    QLabel* img_ = nullptr;
    QLabel* infoLabel_ = nullptr;
    std::vector<QPushButton*> buttons_;
    QWidget* centreOn_ = nullptr;
    bool closingByButton_ = false;
};
