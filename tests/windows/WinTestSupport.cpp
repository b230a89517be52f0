#include "WinTestSupport.h"

#include "TestFiles.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <thread>

namespace {

std::string Environment(const std::string& name) {
    const char* value = std::getenv(name.c_str());
    return value ? value : "";
}

}  // namespace

std::string PortFor(const std::string& role) { return Environment("KNS_WIN_PORT_" + role); }

EmulatorLog::EmulatorLog(const std::string& role)
    : path_(Environment("KNS_WIN_LOG_" + role)), start_(path_.empty() ? 0 : ReadFile(path_).size()) {}

std::vector<std::string> EmulatorLog::NewLines() const {
    const std::string all = path_.empty() ? std::string() : ReadFile(path_);
    std::istringstream in(all.size() > start_ ? all.substr(start_) : std::string());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> EmulatorLog::NewCommands() const {
    std::vector<std::string> commands;
    for (const std::string& line : NewLines())
        if (!line.empty() && line[0] == '!') commands.push_back(line);
    return commands;
}

long EmulatorLog::NewFrames() const {
    const auto lines = NewLines();
    return std::count_if(lines.begin(), lines.end(), [](const std::string& l) { return l.rfind("frame ", 0) == 0; });
}

bool EmulatorLog::WaitFor(const std::string& entry, int limitMs) const {
    return WaitUntil([&] {
        const auto lines = NewLines();
        return std::find(lines.begin(), lines.end(), entry) != lines.end();
    }, limitMs);
}

bool WaitUntil(const std::function<bool()>& condition, int limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
