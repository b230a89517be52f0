#pragma once
// Where the settings file "KNSimTool.ini" lives. Beside the program whenever
// that folder can be written (a build folder, a copy on a stick), so that a
// portable copy keeps its settings with it. A program installed into a
// system folder (/usr/bin, or a folder the user may not write) keeps them in
// the user's configuration folder instead: $XDG_CONFIG_HOME/KNSimTool/, by
// default ~/.config/KNSimTool/; on Windows %APPDATA%\KNSimTool\. The window
// and the command line both ask
// here, so that they always name the same file.

#include <string>

inline constexpr const char* SettingsFileName = "KNSimTool.ini";

// The folder of the running program file, without a trailing slash; empty
// when the system cannot tell.
[[nodiscard]] std::string RunningProgramFolder();

// The settings file for a program in programFolder.
[[nodiscard]] std::string SettingsFileFor(const std::string& programFolder);

// The user's configuration folder for this program: $XDG_CONFIG_HOME/KNSimTool
// (an absolute XDG_CONFIG_HOME only), else $HOME/.config/KNSimTool, else the
// home folder of the user's account entry.
[[nodiscard]] std::string UserSettingsFolder();

// Whether settings may be written beside a program in this folder: the user
// may create files there, and it is not one of the system's program folders
// (even root must not leave files in /usr/bin that no package owns).
[[nodiscard]] bool ProgramFolderHoldsSettings(const std::string& programFolder);
