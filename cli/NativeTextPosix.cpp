// On Linux a path is bytes, and a plan's UTF-8 names a file as it stands.
#include "NativeText.h"

#include <filesystem>

std::string AbsoluteFolderOf(const std::string& file) {
    std::error_code error;
    const auto absolute = std::filesystem::absolute(std::filesystem::path(file), error);
    return (error ? std::filesystem::path(file) : absolute).parent_path().string();
}

std::string Utf8FromNative(const std::string& text) { return text; }

std::optional<std::string> NativePath(const std::string& folder, const std::string& utf8) {
    if (utf8.empty() || utf8.front() == '/' || folder.empty()) return utf8;
    return folder + (folder.back() == '/' ? "" : "/") + utf8;
}
