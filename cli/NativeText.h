#pragma once
// A plan is UTF-8, and so are the program's own byte strings (its command
// line, the paths it opens) on Linux and on Windows, which reads its command
// line in UTF-16. These join and name paths where a plan meets the system.

#include <optional>
#include <string>

// The absolute folder of a file.
std::string AbsoluteFolderOf(const std::string& file);

// The system's text as UTF-8.
std::string Utf8FromNative(const std::string& text);

// The file a plan names (UTF-8, relative to folder unless absolute) as a
// path the program's file functions open; nullopt when the system cannot
// name it.
std::optional<std::string> NativePath(const std::string& folder, const std::string& utf8);
