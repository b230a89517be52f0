// Program start: the application object, the command line, then the
// program's windows and the message loop.

#include "StartOptions.h"
#include "WindowProgram.h"

#include <QIcon>

#include <cstdio>

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
    return RunWindowProgram(options);
}
