// Program start: the command line, the application object, then the
// program's windows and the message loop.

#include "BenchProgram.h"
#include "CarriedImage.h"
#include "MainPictures.h"
#include "ParentConsole.h"
#include "StartOptions.h"
#include "WindowProgram.h"

#include "base/WideText.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

namespace {

// "KARNOL-Simulator Tool v1.200": the title, built from the carried image.
std::string VersionLine() {
    try {
        return "KARNOL-Simulator Tool v" + CarriedImage().VersionText();
    } catch (const std::exception& failure) {
        return std::string("KARNOL-Simulator Tool (") + failure.what() + ")";
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Usage and version are answered before the application object exists:
    // they must work without a display, in a terminal or a script.
    // On Windows from the UTF-16 command line, as QCoreApplication::arguments()
    // below reads it too.
    QStringList early;
    for (const std::string& argument : ProgramArguments(argc, argv)) early << QString::fromStdString(argument);
    if (WantsUsage(early) || WantsVersion(early)) UseParentConsole();
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
    QApplication::setWindowIcon(QIcon(PicturePath("icons/knsimtool")));

    QStringList arguments = QCoreApplication::arguments();
    arguments.removeFirst();
    TStartOptions options;
    QString error;
    if (!ParseCommandLine(arguments, options, error)) {
        UseParentConsole();
        std::fprintf(stderr, "knsimtool: %s\n", error.toLocal8Bit().constData());
        return 2;
    }

    if (options.Bench) {
        // The bench has a menu entry of its own (knsimtool-bench.desktop).
        QGuiApplication::setDesktopFileName(QStringLiteral("knsimtool-bench"));
        return RunBenchProgram(options);
    }
    return RunWindowProgram(options);
}
