#pragma once
// Permission checks in tests. CI runs the tests as root, whom permission
// bits do not stop; so where a test needs a folder or a device that the
// program may not write, it takes one of these ways, which work for root and
// for any other user alike:
//  - RunUnprivileged: as root, the code runs in a forked child that has
//    become the user nobody (65534); as another user, in this process, and
//    the test takes the permission bits away itself.
//  - ReadOnlyFolder: as root, the program runs in a private mount namespace
//    (unshare) in which the folder is a read-only bind mount; as another
//    user, the folder's write bits are taken away while the object lives.
//  - UnprivilegedCommand: as root, the program runs as nobody (setpriv).

#include <functional>
#include <string>
#include <vector>

inline constexpr unsigned NobodyId = 65534;

bool RunningAsRoot();

// fn's result (0 to 255), or -1 when the child did not end normally.
int RunUnprivileged(const std::function<int()>& fn);

// program and args, run as nobody when the tests run as root.
std::vector<std::string> UnprivilegedCommand(const std::string& program, const std::vector<std::string>& args);

class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(std::string folder);
    ~ReadOnlyFolder();
    ReadOnlyFolder(const ReadOnlyFolder&) = delete;
    ReadOnlyFolder& operator=(const ReadOnlyFolder&) = delete;

    // The command line (first entry the program file to start) that runs
    // program with args while the folder is read-only for it.
    std::vector<std::string> Command(const std::string& program, const std::vector<std::string>& args) const;

private:
    std::string folder_;
};
