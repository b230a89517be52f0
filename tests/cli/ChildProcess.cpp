#include "ChildProcess.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads what is there into buffer; false at end of file.
bool Drain(int fd, std::string& buffer) {
    char chunk[4096];
    const ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
        buffer.append(chunk, static_cast<std::size_t>(n));
        return true;
    }
    return n < 0 && (errno == EINTR || errno == EAGAIN);
}

}  // namespace

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& env) {
    int outPipe[2], errPipe[2];
    if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(outPipe[1], STDOUT_FILENO);
        dup2(errPipe[1], STDERR_FILENO);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(outPipe[1]);
    close(errPipe[1]);
    out_ = outPipe[0];
    err_ = errPipe[0];
}

ChildProcess::~ChildProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
    if (err_ >= 0) close(err_);
}

void ChildProcess::Signal(int sig) const {
    if (pid_ > 0) kill(pid_, sig);
}

std::string ChildProcess::ReadOutputLine(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (const auto nl = outBuffer_.find('\n'); nl != std::string::npos) {
            std::string line = outBuffer_.substr(0, nl);
            outBuffer_.erase(0, nl + 1);
            return line;
        }
        pollfd p{out_, POLLIN, 0};
        const int left = MsLeft(deadline);
        if (left == 0 || poll(&p, 1, left) <= 0) return "";
        if (!Drain(out_, outBuffer_)) return "";
    }
}

ChildProcess::Result ChildProcess::Wait(int timeoutMs) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    bool outOpen = true, errOpen = true, killed = false;
    while (outOpen || errOpen) {
        pollfd p[2] = {{outOpen ? out_ : -1, POLLIN, 0}, {errOpen ? err_ : -1, POLLIN, 0}};
        const int left = MsLeft(deadline);
        if (left == 0 && !killed) {
            kill(pid_, SIGKILL);
            killed = true;
        }
        if (poll(p, 2, killed ? 1000 : left) <= 0) {
            if (killed) break;
            continue;
        }
        if (p[0].revents) outOpen = Drain(out_, outBuffer_);
        if (p[1].revents) errOpen = Drain(err_, errBuffer_);
    }
    Result r;
    int status = 0;
    waitpid(pid_, &status, 0);
    pid_ = -1;
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.Out = std::move(outBuffer_);
    r.Err = std::move(errBuffer_);
    return r;
}
