// A step's command on Linux: /bin/sh -c below a keeper (StepKeeper.h) that
// ends everything the command started, whatever group or session it made.
#include "StepProcess.h"

#include "Interrupt.h"
#include "StepKeeper.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// An output file that exists only through its descriptor: unlinked at once,
// so that nothing is left in the temporary folder whatever happens.
class CaptureFile {
public:
    CaptureFile() {
        const char* folder = std::getenv("TMPDIR");
        std::string name = std::string(folder && *folder ? folder : "/tmp") + "/knsimtool-step-XXXXXX";
        fd_ = mkostemp(name.data(), O_CLOEXEC);
        if (fd_ >= 0) unlink(name.c_str());
    }
    ~CaptureFile() {
        if (fd_ >= 0) close(fd_);
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    int Fd() const { return fd_; }

    std::string Kept() const {
        struct stat st {};
        if (fd_ < 0 || fstat(fd_, &st) != 0) return {};
        return CutOutput(static_cast<std::size_t>(st.st_size), [this](std::size_t offset, std::size_t length) {
            std::string piece(length, '\0');
            std::size_t got = 0;
            while (got < length) {
                const ssize_t n = pread(fd_, piece.data() + got, length - got, static_cast<off_t>(offset + got));
                if (n < 0 && errno == EINTR) continue;
                if (n <= 0) break;
                got += static_cast<std::size_t>(n);
            }
            piece.resize(got);
            return piece;
        });
    }

private:
    int fd_ = -1;
};

// "NAME=value" for every inherited variable that vars does not set, then vars.
std::vector<std::string> Environment(const std::map<std::string, std::string>& vars) {
    std::vector<std::string> entries;
    for (char** e = environ; e && *e; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        if (eq != std::string::npos && vars.count(entry.substr(0, eq))) continue;
        entries.push_back(entry);
    }
    for (const auto& [name, value] : vars) entries.push_back(name + "=" + value);
    return entries;
}

// True once the keeper has ended (not reaped: its exit status is read later).
bool Ended(pid_t pid) {
    for (;;) {
        siginfo_t info{};
        if (waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0) return info.si_pid == pid;
        if (errno != EINTR) return true;  // no such child: nothing to wait for
    }
}

// Waits up to ms for the keeper to end.
bool EndsWithin(pid_t pid, int ms) {
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    while (!Ended(pid)) {
        if (Clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

CommandRun RunStepCommand(const std::string& commandLine, const std::map<std::string, std::string>& vars,
                          const std::string& folder, double timeoutSeconds) {
    CommandRun run;
    CaptureFile out, err;
    const int input = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (out.Fd() < 0 || err.Fd() < 0 || input < 0) {
        run.StartFailure = std::string("cannot make a file for its output: ") + std::strerror(errno);
        if (input >= 0) close(input);
        return run;
    }
    const std::vector<std::string> entries = Environment(vars);
    std::vector<char*> envp;
    for (const auto& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    char shell[] = "/bin/sh";
    char dashC[] = "-c";
    char* argv[] = {shell, dashC, const_cast<char*>(commandLine.c_str()), nullptr};

    const KeeperStart start{argv, envp.data(), folder.empty() ? nullptr : folder.c_str(), input, out.Fd(), err.Fd()};
    KeeperFailure failure;
    const long waitMs = static_cast<long>(std::min(timeoutSeconds, 1e6) * 1000);
    StepKeeper stepKeeper = StartStepKeeper(start, failure, waitMs, [] { return Interrupted(); });
    const pid_t keeper = stepKeeper.Pid;
    close(input);
    if (failure.Stage) {
        const std::string why = std::strerror(failure.Error);
        const std::string stage = failure.Stage;
        run.StartFailure = stage == "chdir"              ? "cannot go to the folder " + folder + ": " + why
                           : stage == "move descriptors" ? "cannot hand it its standard input and output: " + why
                                                         : "cannot start /bin/sh: " + why;
    } else {
        run.Started = true;
    }

    // Short pauses first: most commands of a plan are quick, and each
    // millisecond of waiting is a millisecond of every step.
    const auto started = Clock::now();
    const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (run.Started && !Ended(keeper)) {
        const auto now = Clock::now();
        if (now >= deadline || Interrupted()) {
            (now >= deadline ? run.TimedOut : run.Interrupted) = true;
            // The run owns the keeper and asks it to end; the keeper ends the
            // whole tree: asked, then killed after the grace time, given up
            // within 2 KillWaitMs of that. A keeper that has not ended well
            // after that (stopped, or stuck) is killed with its group, so
            // that the run never hangs on it.
            kill(keeper, SIGTERM);
            if (!EndsWithin(keeper, EndGraceMs + 2 * KillWaitMs + 2000)) kill(-keeper, SIGKILL);
            break;
        }
        const auto pause = now - started < std::chrono::milliseconds(50) ? std::chrono::milliseconds(1)
                                                                         : std::chrono::milliseconds(10);
        std::this_thread::sleep_for(std::min<Clock::duration>(pause, deadline - now));
    }
    if (keeper > 0) {
        int status = 0;
        while (waitpid(keeper, &status, 0) < 0 && errno == EINTR) {
        }
        if (run.Started && WIFEXITED(status)) run.ExitStatus = WEXITSTATUS(status);
        else if (run.Started && WIFSIGNALED(status)) run.ExitStatus = 128 + WTERMSIG(status);
        run.NotEnded = KeeperNotes(stepKeeper);
    }
    run.Out = out.Kept();
    run.Err = err.Kept();
    return run;
}
