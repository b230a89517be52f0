// MakeTempDir on Windows: a new folder in the user's temporary folder.
#include "TestFiles.h"

#include <windows.h>

#include <stdexcept>
#include <string>

std::string MakeTempDir(const std::string& prefix) {
    char base[MAX_PATH + 1];
    const DWORD n = GetTempPathA(sizeof base, base);
    if (n == 0 || n > MAX_PATH) throw std::runtime_error("no temporary folder");
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string path = std::string(base, n) + prefix + "-" + std::to_string(GetCurrentProcessId()) +
                                 "-" + std::to_string(counter++);
        if (CreateDirectoryA(path.c_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) break;
    }
    throw std::runtime_error("cannot create a temporary folder for " + prefix);
}
