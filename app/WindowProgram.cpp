#include "WindowProgram.h"

#include "ErrorBox.h"
#include "Forms.h"
#include "SignalCloser.h"
#include "uMain.h"

#include <exception>
#include <string>

bool TApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);
    } catch (...) {
        ShowErrorBox(std::string("Unknown failure"));
    }
    return false;
}

int RunWindowProgram(const TStartOptions& options, const std::function<void(TForms&)>& started) {
    TForms forms(options);
    TMain& window = forms.Main();
    TSignalCloser closer(window);
    // Closing the main window ends the program, even while the debug log
    // window is still open. exit() rather than quit(): quit() first asks
    // every window to close and gives up when one refuses, as the message
    // box and the running update window do.
    QObject::connect(&window, &TMain::Closed, qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    window.ShowFirst();
    if (started) started(forms);
    return QCoreApplication::exec();
}
