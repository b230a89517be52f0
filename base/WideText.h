#pragma once
// The program's byte strings are UTF-8 on every system: file names, ports
// and the command line included. Windows names files in UTF-16, so every
// Windows-side call that takes a name goes through these two conversions,
// and each program takes its arguments from the system's UTF-16 command
// line once, in its entry, so that a folder the ANSI code page cannot name
// (a profile "C:\Users\Łukasz", a Cyrillic folder on a Western system)
// arrives whole instead of best-fit-mapped to another name.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#ifdef _WIN32
// UTF-8 to UTF-16 and back. Bytes that are not UTF-8 at all are read in the
// ANSI code page (a caller that still speaks it); a lone surrogate comes
// back as U+FFFD.
[[nodiscard]] std::wstring WideFromUtf8(std::string_view utf8);
[[nodiscard]] std::string Utf8FromWide(std::wstring_view wide);
#endif

// The program's arguments (without its own name) as UTF-8: on Windows
// parsed from GetCommandLineW (argc and argv are ignored), elsewhere argv
// as it is.
[[nodiscard]] std::vector<std::string> ProgramArguments(int argc, char** argv);

// A std::filesystem path for a UTF-8 name and back. A path made from plain
// chars reads them in the ANSI code page with some C++ libraries on Windows;
// these say UTF-8 on every system (on Linux the bytes pass unchanged).
[[nodiscard]] std::filesystem::path PathFromUtf8(std::string_view utf8);
[[nodiscard]] std::string Utf8FromPath(const std::filesystem::path& path);
