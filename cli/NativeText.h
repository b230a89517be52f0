#pragma once
// A plan is UTF-8; the program's own byte strings (its command line, the
// paths it opens) are the system's text: on Linux the same bytes, on Windows
// the ANSI code page. These convert where the two meet.

#include <optional>
#include <string>

// The absolute folder of a file, in the system's text. (On Windows a
// std::filesystem path gives its narrow text as UTF-8, not in the code page
// it was made from, so it cannot be used for this.)
std::string AbsoluteFolderOf(const std::string& file);

// The system's text as UTF-8.
std::string Utf8FromNative(const std::string& text);

// The file a plan names (UTF-8, relative to folder unless absolute) as a
// path the program's file functions open; nullopt when the system cannot
// name it in its own text (on Windows, a character outside the code page on
// a volume without short names).
std::optional<std::string> NativePath(const std::string& folder, const std::string& utf8);
