#pragma once
// Files and folders for tests and benchmarks: whole files read and written
// as bytes, and temporary folders that always go away again.

#include <filesystem>
#include <string>

// The bytes of the file at path ("" when it cannot be read).
std::string ReadFile(const std::filesystem::path& path);
// Replaces the file at path with data, byte for byte.
void WriteFile(const std::filesystem::path& path, const std::string& data);

// A fresh, empty folder under TMPDIR (or /tmp) whose name starts with
// prefix, removed with everything in it when the object goes.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix = "kns-test");
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

private:
    static std::string MakeFolder(const std::string& prefix);
    std::string path_;
};
