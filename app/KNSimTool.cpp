// Program start: the application object, the program's windows and modules,
// and the message loop.

#include "ErrorBox.h"
#include "Forms.h"
#include "SignalCloser.h"
#include "StartOptions.h"
#include "uMain.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>

namespace {

// The one place where a failure that nothing else caught is reported: it
// ends the event handler it arose in, is shown in the error box, and the
// program goes on. Exceptions must never unwind through the event loop.
class TApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override {
        try {
            return QApplication::notify(receiver, event);
        } catch (const std::exception& failure) {
            ShowErrorBox(failure);
        } catch (...) {
            ShowErrorBox(std::string("Unknown failure"));
        }
        return false;
    }
};

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KNSimTool"));
    // The menu entry's icon, also for the task bar; the file name names the
    // desktop entry, so that the desktop matches the window to its entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("knsimtool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/knsimtool.svg")));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    if (WantsUsage(arguments)) {
        std::fputs(CommandLineUsage(QStringLiteral("knsimtool")).toLocal8Bit().constData(), stdout);
        return 0;
    }
    TStartOptions options;
    QString error;
    if (!ParseCommandLine(arguments, options, error)) {
        std::fprintf(stderr, "knsimtool: %s\n", error.toLocal8Bit().constData());
        return 2;
    }

    TForms forms(options);
    TMain& window = forms.Main();
    TSignalCloser closer(window);
    // Closing the main window ends the program, even while the debug log
    // window is still open.
    QObject::connect(&window, &TMain::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    window.show();
    return app.exec();
}
