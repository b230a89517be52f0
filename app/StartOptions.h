#pragma once
// What the command line asks of a run, and what a test sets instead.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct TStartOptions {
    // The arguments after the program name, as given (the access code of the
    // developer mode is looked for among exactly these).
    QStringList Arguments;
    // --port NAME: offered in the port selector even when the port list does
    // not have it, and selected at start instead of the saved port.
    std::optional<std::string> Port;
    // --bench: the bench window instead of the main window, on the ports
    // that --port names (a comma-separated list), or on every port.
    bool Bench = false;
    std::vector<std::string> BenchPorts;
    // The settings file; empty: "KNSimTool.ini" where SettingsFileFor puts it
    // (beside the program, or in the user's configuration folder).
    QString SettingsFile;
    // The running program, copied by the developer mode; empty: this process's file.
    QString ProgramFile;
    // Whether a development environment window is open; empty: looked up on
    // the display (only when the access code was given).
    std::function<bool()> DevelopmentWindowPresent;
};

// Reads the arguments after the program name. Returns false with a message
// for the user when they cannot be used (--port without a name).
bool ParseCommandLine(const QStringList& arguments, TStartOptions& options, QString& error);

// One line per option, for --help.
QString CommandLineUsage(const QString& programName);
// --help (or -h) and --version are answered before anything needs a display.
bool WantsUsage(const QStringList& arguments);
bool WantsVersion(const QStringList& arguments);

// The access code that, with a development environment window open, makes a
// run copy itself into the distribution folder.
inline constexpr const char* DeveloperAccessCode = "5306142";

// Exactly one argument, equal to the access code (letter for letter), and a
// development environment window present. The window is looked up only when
// the arguments qualify.
bool DeveloperModeRequested(const QStringList& arguments, const std::function<bool()>& windowPresent);

// Where the developer mode copies the program: "dist" in the program's
// folder, the file name with the version word (uppercase hexadecimal, at
// least 3 digits) and "0" put before the extension. KNSimTool.exe at version
// 0x120 gives dist/KNSimTool1200.exe; a program without an extension, as on
// Linux, keeps none: dist/knsimtool1200.
QString DistributionFileName(const QString& programFile, std::uint16_t versionWord);

// Copies the program there, replacing an existing copy. Creates no folder and
// says nothing when it fails: the copy is a convenience for the developer.
void CopyToDistribution(const QString& programFile, std::uint16_t versionWord);

// True when a top-level window whose WM_CLASS class is "TAPPBUILDER" (in any
// letter case) exists on the X11 display the program runs on; false on any
// other platform.
bool DevelopmentWindowExists();
// Whether a WM_CLASS property value (instance and class, each NUL-terminated)
// names the development environment's window class.
bool IsDevelopmentWindowClass(std::string_view wmClass);
