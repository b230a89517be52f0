// On Windows the program's byte strings are ANSI text; a plan's UTF-8 goes
// through UTF-16. A name the code page cannot hold is given by its short
// (8.3) name, which is plain ASCII, where the volume keeps one.
#include "NativeText.h"

#include <windows.h>

namespace {

std::wstring Wide(const std::string& text, UINT codePage) {
    if (text.empty()) return {};
    const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    return wide;
}

// The text in the code page; nullopt when a character has no place in it.
std::optional<std::string> Narrow(const std::wstring& wide, UINT codePage) {
    if (wide.empty()) return std::string();
    BOOL lossy = FALSE;
    BOOL* lossyFlag = codePage == CP_UTF8 ? nullptr : &lossy;
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int n = WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      lossyFlag);
    if (n <= 0 || lossy) return std::nullopt;
    std::string text(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), text.data(), n, nullptr, nullptr);
    return text;
}

bool IsAbsolute(const std::wstring& path) {
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

}  // namespace

std::string AbsoluteFolderOf(const std::string& file) {
    const std::wstring wide = Wide(file, CP_ACP);
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
    return Narrow(full, CP_ACP).value_or(file);
}

std::string Utf8FromNative(const std::string& text) { return Narrow(Wide(text, CP_ACP), CP_UTF8).value_or(text); }

std::optional<std::string> NativePath(const std::string& folder, const std::string& utf8) {
    std::wstring path = Wide(utf8, CP_UTF8);
    if (!IsAbsolute(path) && !folder.empty()) {
        std::wstring base = Wide(folder, CP_ACP);
        if (base.back() != L'\\' && base.back() != L'/') base += L'\\';
        path = base + path;
    }
    if (auto ansi = Narrow(path, CP_ACP)) return ansi;
    const DWORD n = GetShortPathNameW(path.c_str(), nullptr, 0);
    if (n == 0) return std::nullopt;
    std::wstring shortPath(n, L'\0');
    const DWORD got = GetShortPathNameW(path.c_str(), shortPath.data(), n);
    if (got == 0 || got >= n) return std::nullopt;
    shortPath.resize(got);
    return Narrow(shortPath, CP_ACP);
}
