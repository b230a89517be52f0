#include "Child.h"

#include "WaitUntil.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <sstream>
#include <stdexcept>

extern char** environ;

pid_t SpawnChild(const std::string& program, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env, const std::string& outPath,
                 const std::string& errPath) {
    std::vector<std::string> argStore{program};
    argStore.insert(argStore.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argStore) argv.push_back(a.data());
    argv.push_back(nullptr);

    std::vector<std::string> envStore;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.count(entry.substr(0, entry.find('=')))) envStore.push_back(entry);
    }
    for (const auto& [name, value] : env) envStore.push_back(name + "=" + value);
    std::vector<char*> envp;
    for (auto& e : envStore) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (errPath.empty())
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &all);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
    return pid;
}

int WaitForChild(pid_t pid, int timeoutMs) {
    int status = 0;
    pid_t r = 0;
    const auto ended = [&] {
        do {
            r = waitpid(pid, &status, WNOHANG);
        } while (r < 0 && errno == EINTR);
        return r != 0;
    };
    if (WaitUntil(ended, timeoutMs)) return r == pid ? status : -1;
    kill(pid, SIGKILL);
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return -1;
}

// ---- Child -------------------------------------------------------------------

Child::Child(const std::string& program, const std::vector<std::string>& args,
             const std::map<std::string, std::string>& env)
    : outPath_(folder_ / "out"), errPath_(folder_ / "err") {
    pid_ = SpawnChild(program, args, env, outPath_, errPath_);
}

Child::~Child() {
    if (pid_ > 0 && status_ < 0) {
        kill(pid_, SIGKILL);
        Reap(true);
    }
}

bool Child::Reap(bool block) {
    if (status_ >= 0) return true;
    int raw = 0;
    pid_t r;
    do {
        r = waitpid(pid_, &raw, block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r != pid_) return false;
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    return true;
}

bool Child::Running() { return !Reap(false); }

void Child::Signal(int sig) {
    if (status_ < 0) kill(pid_, sig);
}

std::string Child::Out() const {
    const std::string out = ReadFile(outPath_);
    return out.size() > outTaken_ ? out.substr(outTaken_) : "";
}

std::string Child::ReadOutputLine(int timeoutMs) {
    std::string line;
    WaitUntil(
        [&] {
            const std::string out = Out();
            const auto end = out.find('\n');
            if (end == std::string::npos) return false;
            line = out.substr(0, end);
            outTaken_ += end + 1;
            return true;
        },
        timeoutMs);
    return line;
}

Child::Result Child::Wait(int timeoutMs) {
    Result result;
    if (!WaitUntil([this] { return Reap(false); }, timeoutMs)) {
        result.TimedOut = true;
        kill(pid_, SIGKILL);
        Reap(true);
    }
    result.Status = status_;
    result.Out = Out();
    result.Err = Err();
    return result;
}

// ---- EmulatorChild -------------------------------------------------------------

EmulatorChild::EmulatorChild(std::vector<std::string> args) : logPath_(folder_ / "emulator.log") {
    args.insert(args.end(), {"--log", logPath_});
    std::string link;
    for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == "--link") link = args[i + 1];
    process_ = std::make_unique<Child>(KNS_EMU_PATH, args);
    const std::string firstLine = process_->ReadOutputLine(10000);
    if (firstLine.empty()) throw std::runtime_error("knsim-emu did not start: " + process_->Err());
    port_ = link.empty() ? firstLine : link;
}

EmulatorChild::~EmulatorChild() {
    process_->Signal(SIGTERM);
    process_->Wait(10000);
}

std::vector<std::string> EmulatorChild::Log() const {
    std::vector<std::string> lines;
    std::istringstream text(ReadFile(logPath_));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> EmulatorChild::Commands() const {
    std::vector<std::string> commands;
    for (auto& line : Log())
        if (!line.empty() && line[0] == '!') commands.push_back(line);
    return commands;
}

std::size_t EmulatorChild::Count(const std::string& entry) const {
    const auto log = Log();
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), entry));
}

bool EmulatorChild::WaitForLog(const std::string& entry, int timeoutMs, std::size_t times) const {
    return WaitUntil([&] { return Count(entry) >= times; }, timeoutMs);
}

bool EmulatorChild::HasLogPrefix(const std::string& prefix) const {
    const auto log = Log();
    return std::any_of(log.begin(), log.end(), [&](const std::string& e) { return e.rfind(prefix, 0) == 0; });
}

void EmulatorChild::ClearLog() const { WriteFile(logPath_, ""); }

void EmulatorChild::PressReset() { process_->Signal(SIGUSR1); }

void EmulatorChild::Kill() {
    process_->Signal(SIGKILL);
    process_->Wait(5000);
}

Child::Result RunCli(const std::vector<std::string>& args, const std::string& ports, int timeoutMs) {
    Child cli(KNS_CLI_PATH, args, {{"KNSIM_CLI_PORTS", ports.empty() ? "/nonexistent/knsim-test-port" : ports}});
    return cli.Wait(timeoutMs);
}
