#pragma once
// Pseudo-terminals for tests: the test holds the master side as "the
// device", the code under test opens the slave by its path.

#include <fcntl.h>

#include <string>

// Opens path as a raw line (nothing echoed, translated or edited); -1 when
// it cannot be opened.
int OpenRaw(const std::string& path, int flags = O_RDWR | O_NOCTTY | O_CLOEXEC);

class Pty {
public:
    // masterFlags are added to the master's open flags (O_NONBLOCK).
    explicit Pty(int masterFlags = 0);
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& Path() const { return path_; }
    int Master() const { return master_; }

    // Writes all of bytes to the master; throws when that fails.
    void Write(const std::string& bytes) const;
    // What the slave side sent, collected until want bytes came or the wait ran out.
    std::string Read(std::size_t want, int waitMs = 3000) const;
    void CloseMaster();

private:
    int master_ = -1;
    std::string path_;
};
