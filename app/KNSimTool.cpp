// Program start: the application object, the program's windows and modules,
// and the message loop.

#include "ErrorBox.h"
#include "Forms.h"
#include "SignalCloser.h"
#include "StartOptions.h"
#include "uMain.h"

#include "link/FirmwareImage.h"

#include <QApplication>
#include <QFile>
#include <QIcon>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

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

// "KARNOL-Simulator Tool v1.200": the title, built from the carried image.
std::string VersionLine() {
    QFile resource(QStringLiteral(":/BIOS"));
    if (!resource.open(QIODevice::ReadOnly)) return "KARNOL-Simulator Tool (the carried firmware image is missing)";
    const QByteArray bytes = resource.readAll();
    FirmwareImage image;
    try {
        image.Load(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    } catch (const std::exception& failure) {
        return std::string("KARNOL-Simulator Tool (") + failure.what() + ")";
    }
    return "KARNOL-Simulator Tool v" + image.VersionText();
}

}  // namespace

int main(int argc, char** argv) {
    // Usage and version are answered before the application object exists:
    // they must work without a display, in a terminal or a script.
    QStringList early;
    for (int i = 1; i < argc; ++i) early << QString::fromLocal8Bit(argv[i]);
    if (WantsUsage(early)) {
        std::fputs(CommandLineUsage(QStringLiteral("knsimtool")).toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (WantsVersion(early)) {
        std::printf("%s\n", VersionLine().c_str());
        return 0;
    }

    TApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("KNSimTool"));
    // The menu entry's icon, also for the task bar; the file name names the
    // desktop entry, so that the desktop matches the window to its entry.
    QGuiApplication::setDesktopFileName(QStringLiteral("knsimtool"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/icons/knsimtool.svg")));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
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
