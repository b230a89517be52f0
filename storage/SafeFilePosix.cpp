#include "SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int Get() const { return fd_; }
    int Release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

int WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

// A symbolic link stays a link: the file it points to is replaced.
std::string ResolveTarget(const std::string& path) {
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved = real;
            std::free(real);
            return resolved;
        }
    }
    return path;
}

}  // namespace

namespace SafeFile {

ReadResult ReadWhole(const std::string& path, std::string& out, std::size_t limit) {
    out.clear();
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno == ENOENT || errno == ENOTDIR ? ReadResult::Missing : ReadResult::Unreadable;
    char buf[65536];
    while (out.size() <= limit) {
        const std::size_t want = std::min(sizeof buf, limit + 1 - out.size());
        const ssize_t n = ::read(fd.Get(), buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            out.clear();
            return ReadResult::Unreadable;  // a folder, or an I/O error
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    return ReadResult::Ok;
}

bool Exists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

bool IsReadOnly(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return true;
    return ::access(path.c_str(), W_OK) != 0 && (errno == EACCES || errno == EROFS);
}

int MakeFolders(const std::string& filePath) {
    const std::string folder = FolderOf(filePath);
    std::size_t pos = 0;
    while (pos != std::string::npos) {
        pos = folder.find('/', pos + 1);
        const std::string part = folder.substr(0, pos);
        if (part.empty()) continue;
        if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return errno;
    }
    struct stat st{};
    if (::stat(folder.c_str(), &st) != 0) return errno;
    return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

int WriteInPlace(const std::string& path, std::string_view data) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    if (fd.Get() < 0) return errno;
    // Ask for the room first, so that a full disk is noticed before a byte
    // of the old content is overwritten. File systems without the call
    // simply go on.
    if (!data.empty() && ::fallocate(fd.Get(), 0, 0, static_cast<off_t>(data.size())) != 0 &&
        (errno == ENOSPC || errno == EDQUOT))
        return errno;
    if (const int e = WriteAll(fd.Get(), data)) return e;
    if (::ftruncate(fd.Get(), static_cast<off_t>(data.size())) != 0) return errno;
    if (::fsync(fd.Get()) != 0) return errno;
    return ::close(fd.Release()) == 0 ? 0 : errno;
}

int WriteReplacing(const std::string& path, std::string_view data) {
    const std::string target = ResolveTarget(path);
    if (const int e = MakeFolders(target)) return e;

    struct stat old{};
    const bool replacing = ::stat(target.c_str(), &old) == 0;
    if (replacing && S_ISDIR(old.st_mode)) return EISDIR;
    // A file with other hard links must stay the one file they all name, and
    // a folder that takes no new file still lets a writable file be saved.
    const std::string folderPath = FolderOf(target);
    if (replacing && (old.st_nlink > 1 || ::access(folderPath.c_str(), W_OK | X_OK) != 0))
        return WriteInPlace(target, data);

    // O_EXCL with our own names (rather than mkstemp) lets the umask give a
    // new file its usual permissions.
    std::string temp;
    int rawFd = -1;
    for (int attempt = 0; attempt < 100 && rawFd < 0; ++attempt) {
        temp = target + ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        rawFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (rawFd < 0 && errno != EEXIST) {
            if (replacing && (errno == EACCES || errno == EPERM || errno == EROFS)) return WriteInPlace(target, data);
            return errno;
        }
    }
    if (rawFd < 0) return EEXIST;
    Fd fd(rawFd);

    if (replacing) {
        // The new file must keep the old one's owner, group and mode. Where
        // this user may not give it the old owner (another user's file in a
        // shared folder), the old file is written in place instead.
        struct stat made{};
        const bool sameOwner =
            ::fstat(fd.Get(), &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
        if (!sameOwner && ::fchown(fd.Get(), old.st_uid, old.st_gid) != 0) {
            ::close(fd.Release());
            ::unlink(temp.c_str());
            return WriteInPlace(target, data);
        }
    }
    int error = WriteAll(fd.Get(), data);
    // After fchown, which may clear set-id bits.
    if (!error && replacing && ::fchmod(fd.Get(), old.st_mode & 07777) != 0) error = errno;
    // The data must be on disk before the rename makes it the file.
    if (!error && ::fsync(fd.Get()) != 0) error = errno;
    if (!error && ::close(fd.Release()) != 0) error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        return error;
    }
    Fd folder(::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Get() >= 0) ::fsync(folder.Get());
    return 0;
}

}  // namespace SafeFile
