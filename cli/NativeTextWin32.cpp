// On Windows the program's byte strings are UTF-8 as well (the command line
// is read in UTF-16 and converted); only the system calls see UTF-16.
#include "NativeText.h"

#include "base/WideText.h"

#include <windows.h>

namespace {

bool IsAbsolute(const std::string& path) {
    return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

}  // namespace

std::string AbsoluteFolderOf(const std::string& file) {
    const std::wstring wide = WideFromUtf8(file);
    std::wstring full(MAX_PATH, L'\0');
    DWORD n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (n >= full.size()) {
        full.resize(n);
        n = GetFullPathNameW(wide.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    }
    full.resize(n < full.size() ? n : 0);
    if (full.empty()) full = wide;
    const std::size_t slash = full.find_last_of(L"\\/");
    full.resize(slash == std::wstring::npos ? 0 : (slash == 2 && full[1] == L':' ? 3 : slash));
    return Utf8FromWide(full);
}

std::string Utf8FromNative(const std::string& text) { return text; }

std::optional<std::string> NativePath(const std::string& folder, const std::string& utf8) {
    if (utf8.empty() || IsAbsolute(utf8) || folder.empty()) return utf8;
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + utf8;
}
