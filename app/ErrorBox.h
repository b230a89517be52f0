#pragma once
// The program's one report of a failure that ended a command or an event
// handler: the standard error box with the program title as caption, one OK
// button, and the failure's message. Everything that shows a failure to the
// user this way goes through here, so that the text rule is the same
// everywhere.

#include <QString>

#include <exception>
#include <functional>
#include <string>

// The text as the box shows it: the message's bytes taken as Latin-1, with a
// full stop appended when the last character sorts above "." (a message that
// ends in a digit, a letter or a closing quote gets one; one that ends in ")"
// or "." does not).
QString ErrorBoxText(const std::string& message);

// The program title ("KARNOL-Simulator Tool v1.200"), the error box's
// caption. It is kept here rather than as Qt's application display name,
// because the X11 backend appends the display name to every other window's
// caption ("Debug" would read "Debug — KARNOL-Simulator Tool v1.200").
void SetProgramTitle(const QString& title);
QString ProgramTitle();

// Shows the error box modally, with the program title as caption.
void ShowErrorBox(const std::string& message);
void ShowErrorBox(const std::exception& failure);

// Who shows the box. Tests put a recorder here so that no modal box blocks
// them; an empty presenter restores the standard box. Returns the previous one.
using ErrorBoxPresenter = std::function<void(const QString& caption, const QString& text)>;
ErrorBoxPresenter SetErrorBoxPresenter(ErrorBoxPresenter presenter);
