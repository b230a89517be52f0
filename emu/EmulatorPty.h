#pragma once
// One pseudo-terminal for the emulator: the master it talks on, plus its own
// descriptor of the slave, held open so that the master does not report a
// hang-up (and make poll spin) while no tool has the port open.

#include <string>

class EmulatorPty {
public:
    EmulatorPty();   // throws std::runtime_error
    ~EmulatorPty();
    EmulatorPty(const EmulatorPty&) = delete;
    EmulatorPty& operator=(const EmulatorPty&) = delete;

    int Master() const { return master_; }     // non-blocking
    int OpenWatch() const { return watch_; }   // readable when the slave is opened or closed
    const std::string& SlavePath() const { return path_; }

    // Reads the pending open/close notifications; true when a close was among them.
    bool DrainWatch();
    // A tool that set exclusive use leaves the flag behind when it closes,
    // because the terminal lives on while the master is open; clear it so
    // that the next open by an unprivileged user succeeds.
    void ClearExclusive();

private:
    int master_ = -1;
    int slave_ = -1;
    int watch_ = -1;
    std::string path_;
};

// Makes link a symlink to target, replacing an earlier symlink atomically;
// refuses (std::runtime_error) to replace anything that is not a symlink.
void PointLink(const std::string& link, const std::string& target);
// Removes link if it is still a symlink to target.
void RemoveLink(const std::string& link, const std::string& target);
