#pragma once
// The lock files that serial programs on Linux (minicom, picocom, gpsd, the
// old UUCP tools) use for a port: "LCK..ttyUSB0" in /run/lock, holding the
// holder's process id as ten ASCII characters and a line feed. The port
// layer honours them and takes one of its own for as long as a port is open,
// besides its exclusive open and flock, which only programs that use the
// same calls see.

#include <string>

class TPortLockFile {
public:
    // Where lock files are looked for and made: $KNSIM_LOCK_DIR when set (a
    // test hook, so that tests never touch the machine's own lock folder),
    // else /run/lock.
    static std::string Folder();
    // "LCK.." and the device's file name, after symbolic links are followed
    // (/dev/serial/by-id/... and /dev/ttyUSB0 name one lock).
    static std::string NameFor(const std::string& devicePath);

    TPortLockFile() = default;
    ~TPortLockFile() { Release(); }
    TPortLockFile(const TPortLockFile&) = delete;
    TPortLockFile& operator=(const TPortLockFile&) = delete;

    // Takes the lock of the device. Returns 0, or EBUSY when a live process
    // (this one included, for a port it already holds) has the lock file. A
    // stale file, whose process is gone, is removed and taken over. Where
    // the folder is missing or may not be written, the port goes without a
    // lock file of its own (0): the other locks still protect it.
    [[nodiscard]] int Take(const std::string& devicePath);
    // Removes the file taken, if any; does nothing otherwise.
    void Release();

    const std::string& File() const { return file_; }

private:
    std::string file_;  // the lock file this object made; empty when none
};
