// A temporary folder on Windows: a new folder in the user's temporary folder,
// named in UTF-8 as the programs name files (the profile's name may lie
// outside the ANSI code page).
#include "TestFiles.h"

#include "base/WideText.h"

#include <windows.h>

#include <stdexcept>
#include <string>

std::string TempFolder::MakeFolder(const std::string& prefix) {
    wchar_t base[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, base);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("no temporary folder");
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string path = Utf8FromWide(std::wstring_view(base, n)) + prefix + "-" +
                                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(counter++);
        if (CreateDirectoryW(WideFromUtf8(path).c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a temporary folder for " + prefix);
}
