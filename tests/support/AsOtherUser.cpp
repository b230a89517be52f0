#include "AsOtherUser.h"

#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

bool RunningAsRoot() { return ::geteuid() == 0; }

int RunUnprivileged(const std::function<int()>& fn) {
    if (!RunningAsRoot()) return fn();
    const pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(NobodyId) != 0 || ::setuid(NobodyId) != 0) ::_exit(254);
        ::_exit(fn() & 0xFF);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> UnprivilegedCommand(const std::string& program, const std::vector<std::string>& args) {
    std::vector<std::string> command;
    if (RunningAsRoot()) {
        const std::string id = std::to_string(NobodyId);
        command = {"/usr/bin/setpriv", "--reuid=" + id, "--regid=" + id, "--clear-groups", program};
    } else {
        command = {program};
    }
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

ReadOnlyFolder::ReadOnlyFolder(std::string folder) : folder_(std::move(folder)) {
    if (!RunningAsRoot()) ::chmod(folder_.c_str(), 0555);
}

ReadOnlyFolder::~ReadOnlyFolder() {
    if (!RunningAsRoot()) ::chmod(folder_.c_str(), 0755);
}

std::vector<std::string> ReadOnlyFolder::Command(const std::string& program,
                                                 const std::vector<std::string>& args) const {
    std::vector<std::string> command;
    if (RunningAsRoot()) {
        command = {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c",
                   "mount --bind \"$0\" \"$0\" && mount -o remount,bind,ro \"$0\" && exec \"$@\"", folder_,
                   program};
    } else {
        command = {program};
    }
    command.insert(command.end(), args.begin(), args.end());
    return command;
}
