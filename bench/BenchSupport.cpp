#include "BenchSupport.h"

#include "Child.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <sstream>
#include <stdexcept>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

std::optional<StampedLog::Entry> StampedLog::WaitFor(const std::string& text, std::size_t from, int timeoutMs) const {
    constexpr auto LookEvery = std::chrono::milliseconds(20);
    const auto end = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const Entry& entry : Entries(from)) {
            if (entry.Text == text) return entry;
            ++from;
        }
        const auto now = BenchClock::now();
        if (now >= end) return std::nullopt;
        std::this_thread::sleep_for(std::min<BenchClock::duration>(LookEvery, end - now));
    }
}

BenchChild::BenchChild(const std::string& program, const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env, const std::string& outputFile) {
    pid_ = SpawnChild(program, args, env, outputFile.empty() ? "/dev/null" : outputFile);
}

BenchChild::~BenchChild() {
    if (!reaped_) {
        Terminate();
        Wait(5000);
    }
    if (!reaped_) {
        kill(pid_, SIGKILL);
        Wait(5000);
    }
}

void BenchChild::Terminate() {
    if (!reaped_) kill(pid_, SIGTERM);
}

double BenchChild::CpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The command name may hold blanks: fields are counted after its ")".
    const auto close = stat.rfind(')');
    if (close == std::string::npos) return -1;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

namespace {
long StatusKb(int pid, const std::string& field) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(in, line);)
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(field.size()));
    return -1;
}
}  // namespace

long BenchChild::PeakKb() const { return StatusKb(pid_, "VmHWM:"); }

long BenchChild::ResidentKb() const { return StatusKb(pid_, "VmRSS:"); }

BenchChild::Ended BenchChild::Wait(int timeoutMs) {
    Ended ended;
    const auto end = BenchClock::now() + std::chrono::milliseconds(timeoutMs);
    while (!reaped_) {
        int status = 0;
        rusage usage{};
        const pid_t r = wait4(pid_, &status, WNOHANG, &usage);
        if (r == pid_) {
            reaped_ = true;
            ended.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            ended.PeakKb = usage.ru_maxrss;
            ended.CpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                               static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
            break;
        }
        if (BenchClock::now() > end) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ended;
}

std::size_t ExchangeBytes(const std::string& port, const std::string& command) {
    const int fd = open(port.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) throw std::runtime_error("cannot open " + port);
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
    (void)!write(fd, command.data(), command.size());
    std::size_t reply = 0;
    // The reply ends with the line feed after its carriage return; nothing
    // follows it for a quarter of a second.
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 250) <= 0) break;
        char buf[4096];
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n <= 0) break;
        reply += static_cast<std::size_t>(n);
    }
    close(fd);
    return command.size() + reply;
}

std::string ProgramPath(const char* name) { return std::string(KNS_BIN_DIR) + "/" + name; }
