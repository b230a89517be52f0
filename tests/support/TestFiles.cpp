#include "TestFiles.h"

#include "base/WideText.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

#ifndef _WIN32
// Windows: TestFilesWin32.cpp.
std::string TempFolder::MakeFolder(const std::string& prefix) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed for " + pattern);
    return pattern;
}
#endif

TempFolder::TempFolder(const std::string& prefix) : path_(MakeFolder(prefix)) {}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(PathFromUtf8(path_), ignored);
}
