// SafeFile on Windows: paths are UTF-8 (the program's byte strings) and are
// widened for the file functions, so that no length or code-page limit of
// the ...A functions applies. The replacing write is flushed with
// FlushFileBuffers and moved over the target with MoveFileExW (a file with a
// second name is written in place; hidden and system marks stay).
#include "SafeFile.h"

#include "base/WideText.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <string>

namespace {

class File {
public:
    explicit File(HANDLE h) : h_(h) {}
    ~File() { Close(); }
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return h_; }
    bool Close() {
        if (h_ == INVALID_HANDLE_VALUE) return true;
        const bool ok = CloseHandle(h_) != FALSE;
        h_ = INVALID_HANDLE_VALUE;
        return ok;
    }

private:
    HANDLE h_;
};

std::wstring Wide(const std::string& text) { return WideFromUtf8(text); }

// The callers report failures with strerror: give them the nearest errno.
int ErrnoOf(DWORD error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME: return EINVAL;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_DIRECTORY: return ENOTDIR;
    default: return EIO;
    }
}

int LastErrno() { return ErrnoOf(GetLastError()); }

// The folder part of a path, without its last separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    if (slash == 0) return path.substr(0, 1);
    return path.substr(0, slash);
}

bool IsFolder(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int MakeFolderChain(const std::wstring& folder) {
    if (folder.empty() || IsFolder(folder)) return 0;
    // Drive roots ("C:") and share roots cannot be created; they either exist or not.
    if (folder.size() == 2 && folder[1] == L':') return ENOENT;
    if (const int e = MakeFolderChain(FolderOf(folder))) return e;
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return LastErrno();
    return IsFolder(folder) ? 0 : ENOTDIR;
}

constexpr DWORD KeptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// How many names the file has; 1 when that cannot be told.
DWORD LinkCount(const std::wstring& path) {
    File file(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    BY_HANDLE_FILE_INFORMATION info{};
    if (!file.Valid() || !GetFileInformationByHandle(file.Get(), &info)) return 1;
    return info.nNumberOfLinks;
}

int WriteAll(HANDLE h, std::string_view data) {
    while (!data.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(data.size(), 1u << 20));
        DWORD written = 0;
        if (!WriteFile(h, data.data(), chunk, &written, nullptr)) return LastErrno();
        data.remove_prefix(written);
    }
    return 0;
}

}  // namespace

namespace SafeFile {

ReadResult ReadWhole(const std::string& path, std::string& out, std::size_t limit) {
    out.clear();
    File file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                              : ReadResult::Unreadable;
    }
    char buf[65536];
    while (out.size() <= limit) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buf, limit + 1 - out.size()));
        DWORD got = 0;
        if (!ReadFile(file.Get(), buf, want, &got, nullptr)) {
            out.clear();
            return ReadResult::Unreadable;
        }
        if (got == 0) break;
        out.append(buf, got);
    }
    return ReadResult::Ok;
}

bool Exists(const std::string& path) { return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES; }

bool IsReadOnly(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) return false;
    return (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

int MakeFolders(const std::string& filePath) { return MakeFolderChain(FolderOf(Wide(filePath))); }

int WriteInPlace(const std::string& path, std::string_view data) {
    File file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.Valid()) return LastErrno();
    if (const int e = WriteAll(file.Get(), data)) return e;
    if (!SetEndOfFile(file.Get()) || !FlushFileBuffers(file.Get())) return LastErrno();
    return file.Close() ? 0 : LastErrno();
}

int WriteReplacing(const std::string& path, std::string_view data) {
    const std::wstring target = Wide(path);
    if (const int e = MakeFolderChain(FolderOf(target))) return e;
    if (IsFolder(target)) return EISDIR;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    const bool replacing = attributes != INVALID_FILE_ATTRIBUTES;
    // A file with a second name would be split in two by a move over this
    // one (the other name keeping the old content): it is written in place.
    if (replacing && LinkCount(target) > 1) return WriteInPlace(path, data);
    // What the user marked the file as (hidden, say) stays with the new one.
    const DWORD kept = replacing ? attributes & KeptAttributes : 0;

    std::wstring temp;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target + L".tmp" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt);
        created = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            // A folder that takes no new file still lets a writable file be saved.
            if (replacing && error == ERROR_ACCESS_DENIED) return WriteInPlace(path, data);
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return ErrnoOf(error);
        }
    }
    File file(created);
    if (!file.Valid()) return EEXIST;

    // Bytes as they stand: the "\r\n" line ends are the file's own.
    int error = WriteAll(file.Get(), data);
    // The data must be on disk before the move makes it the file.
    if (!error && !FlushFileBuffers(file.Get())) error = LastErrno();
    if (!file.Close() && !error) error = LastErrno();
    if (!error && kept && !SetFileAttributesW(temp.c_str(), kept)) error = LastErrno();
    if (!error && !MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        error = LastErrno();
    if (error) {
        DeleteFileW(temp.c_str());
        return error;
    }
    return 0;
}

}  // namespace SafeFile
