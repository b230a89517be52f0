#pragma once
// File access shared by the configuration files and the settings file:
// bounded whole-file reads, and writes that go to a temporary file in the
// same folder and are renamed over the target, so that a crash or a full
// disk never leaves half a file where the old one stood.

#include <cstddef>
#include <string>
#include <string_view>

namespace SafeFile {

enum class ReadResult { Ok, Missing, Unreadable };

// Reads the whole file, but never more than limit + 1 bytes, so that an
// oversized file is noticed by its size without being copied whole.
[[nodiscard]] ReadResult ReadWhole(const std::string& path, std::string& out, std::size_t limit);

[[nodiscard]] bool Exists(const std::string& path);

// True when the file exists and is marked read-only (no write permission
// bit, or not writable for this user). Running as root ignores permission
// bits, so the bits themselves are looked at.
[[nodiscard]] bool IsReadOnly(const std::string& path);

// Creates the missing folders of a file's path. Returns 0 or an errno value.
[[nodiscard]] int MakeFolders(const std::string& filePath);

// Writes data as the file's whole new content: missing folders first, then a
// temporary file beside the target, flushed to disk and renamed over it; on
// failure the old file is untouched and no temporary file is left behind.
// An existing file is written in place instead (room reserved first, then
// flushed) where a rename would not keep it what it is: a file with more
// than one hard link, a file in a folder that takes no new file, a file
// whose owner this user cannot give a new file. A save never changes a
// file's owner, group or permission bits. Returns 0 or an errno value.
[[nodiscard]] int WriteReplacing(const std::string& path, std::string_view data);

// Overwrites an existing file's content where it stands and flushes it.
[[nodiscard]] int WriteInPlace(const std::string& path, std::string_view data);

}  // namespace SafeFile
