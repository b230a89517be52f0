#pragma once
// The window program's run, shared by main() and the test driver that brings
// the program into a given state before it is signalled: the application
// object, the program's windows, the termination signals, the message loop.

#include "StartOptions.h"

#include <QApplication>

#include <functional>

class TForms;

// The one place where a failure that nothing else caught is reported: it
// ends the event handler it arose in, is shown in the error box, and the
// program goes on. Exceptions must never unwind through the event loop.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override;
};

// Creates the windows, shows the main window and runs the message loop until
// the main window has closed (by "Exit", a failed update or a termination
// signal). started runs once the main window is shown. Returns the exit code.
int RunWindowProgram(const TStartOptions& options, const std::function<void(TForms&)>& started = {});
