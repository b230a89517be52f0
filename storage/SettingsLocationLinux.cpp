#include "SettingsLocation.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace {

std::string WithoutTrailingSlashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

bool StartsWithFolder(const std::string& path, const std::string& folder) {
    return path == folder || (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
                              path[folder.size()] == '/');
}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

}  // namespace

std::string RunningProgramFolder() {
    std::vector<char> buf(4096);
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    std::string path(buf.data(), static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return {};
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool ProgramFolderHoldsSettings(const std::string& programFolder) {
    const std::string folder = WithoutTrailingSlashes(programFolder);
    if (folder.empty()) return false;
    // Files below these belong to packages; a settings file there would be
    // left behind by an uninstall, and be shared by every user.
    for (const char* system : {"/usr", "/bin", "/sbin", "/lib", "/etc"})
        if (StartsWithFolder(folder, system)) return false;
    // access() also answers "read-only file system" for root.
    return ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::string UserSettingsFolder() {
    // Relative values are to be ignored, as if unset.
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && xdg[0] == '/')
        return WithoutTrailingSlashes(xdg) + "/KNSimTool";
    const std::string home = HomeFolder();
    if (home.empty()) return "KNSimTool";  // no home at all: the working folder
    return WithoutTrailingSlashes(home) + "/.config/KNSimTool";
}

std::string SettingsFileFor(const std::string& programFolder) {
    if (ProgramFolderHoldsSettings(programFolder)) {
        const std::string folder = WithoutTrailingSlashes(programFolder);
        return (folder == "/" ? std::string() : folder) + "/" + SettingsFileName;
    }
    // The folder is made by the first write (SafeFile creates missing folders).
    return UserSettingsFolder() + "/" + SettingsFileName;
}
