// Where the settings file lives on Windows: beside the .exe when that folder
// can be written (a copy on a stick keeps its settings), else under the
// user's %APPDATA% (an installed copy lives in Program Files, which a normal
// user cannot write).
#include "SettingsLocation.h"

#include "base/WideText.h"

#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::string WithoutTrailingSeparators(std::string path) {
    while (path.size() > 1 && (path.back() == '\\' || path.back() == '/') && path[path.size() - 2] != ':')
        path.pop_back();
    return path;
}

}  // namespace

std::string RunningProgramFolder() {
    // Long paths need more than MAX_PATH: grow until the name fits.
    std::vector<wchar_t> buf(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0) return {};
        if (n < buf.size()) {
            const std::wstring path(buf.data(), n);
            const std::size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::string() : Utf8FromWide(path.substr(0, slash));
        }
        if (buf.size() > 32768) return {};
        buf.resize(buf.size() * 2);
    }
}

bool ProgramFolderHoldsSettings(const std::string& programFolder) {
    if (programFolder.empty()) return false;
    // Tried, not read from attributes: the read-only attribute means nothing
    // on a folder, and what decides is the folder's access list (Program
    // Files admits only administrators) or the medium (a locked stick, a CD).
    // The probe file goes away when its handle closes.
    const std::string folder = WithoutTrailingSeparators(programFolder);
    const char last = folder.back();
    const std::string probe = folder + (last == '\\' || last == '/' ? "" : "\\") + "KNSimTool.ini-" +
                              std::to_string(GetCurrentProcessId()) + ".probe";
    const HANDLE handle = CreateFileW(WideFromUtf8(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                                      nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    CloseHandle(handle);
    return true;
}

std::string UserSettingsFolder() {
    // The variable in UTF-16: the ANSI copy that getenv reads has lost a
    // profile name outside the code page.
    if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData)
        return WithoutTrailingSeparators(Utf8FromWide(appData)) + "\\KNSimTool";
    return "KNSimTool";
}

std::string SettingsFileFor(const std::string& programFolder) {
    if (!ProgramFolderHoldsSettings(programFolder)) return UserSettingsFolder() + "\\" + SettingsFileName;
    const std::string folder = WithoutTrailingSeparators(programFolder);
    const char last = folder.back();
    return folder + (last == '\\' || last == '/' ? "" : "\\") + SettingsFileName;
}
