// Saving files that a rename would change: a writable file in a folder that
// takes no new file, a file with two hard links, a file whose owner or mode
// must stay; and where the settings file goes.
#include "storage/SafeFile.h"
#include "storage/SettingsLocation.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <utility>
#include <vector>

#ifndef _WIN32
#include "AsOtherUser.h"

#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

// Sets an environment variable, or removes it (value nullptr).
void SetVariable(const char* name, const char* value) {
#ifdef _WIN32
    _putenv_s(name, value ? value : "");  // an empty value removes it there
#else
    if (value)
        ::setenv(name, value, 1);
    else
        ::unsetenv(name);
#endif
}

#ifndef _WIN32
struct stat StatOf(const std::string& path) {
    struct stat st{};
    EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
    return st;
}

// A folder that the user who saves (nobody, when the tests run as root) may
// enter but not write, holding a file that user may write.
struct LockedFolder {
    TempFolder base;
    std::string folder = base / "locked";
    std::string file = folder + "/set-up.kns";
    LockedFolder() {
        ::chmod(base.Path().c_str(), 0755);
        ::mkdir(folder.c_str(), 0755);
        WriteFile(file, "old content, longer than the new one\n");
        ::chmod(file.c_str(), 0666);
        if (!RunningAsRoot()) ::chmod(folder.c_str(), 0555);
    }
    ~LockedFolder() { ::chmod(folder.c_str(), 0755); }
};
#endif

}  // namespace

#ifndef _WIN32
// Owners, groups, permission bits, inodes and a second user to save as are
// POSIX's. (Windows has hard links too, and its save writes such a file in
// place as well; tests/windows/WinFilesTest checks that save.)
TEST(SaveInPlace, WritableFileInAFolderThatTakesNoNewFile) {
    LockedFolder locked;
    const struct stat before = StatOf(locked.file);
    const int error = RunUnprivileged([&] { return SafeFile::WriteReplacing(locked.file, "new\r\n"); });
    EXPECT_EQ(error, 0) << std::strerror(error);
    EXPECT_EQ(ReadFile(locked.file), "new\r\n");
    const struct stat after = StatOf(locked.file);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    // The folder still holds just the one file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(locked.folder), std::filesystem::directory_iterator()), 1);
}

TEST(SaveInPlace, FileWithTwoHardLinksStaysOneFile) {
    TempFolder folder;
    const std::string first = folder / "a.kns";
    const std::string second = folder / "b.kns";
    WriteFile(first, "old");
    ASSERT_EQ(::link(first.c_str(), second.c_str()), 0);
    ASSERT_EQ(SafeFile::WriteReplacing(second, "saved through the second name"), 0);
    EXPECT_EQ(ReadFile(first), "saved through the second name");
    EXPECT_EQ(StatOf(first).st_ino, StatOf(second).st_ino);
    EXPECT_EQ(StatOf(first).st_nlink, 2u);
}

TEST(SaveInPlace, OwnerGroupAndModeStay) {
    // As root the file belongs to nobody, so a save through a new file must
    // hand the owner over; as another user only the mode can differ. Root's
    // own file with a shared group (user:lab, 0664) keeps that group, or the
    // colleagues in it lose write access.
    for (const auto& [mode, own] :
         {std::pair{0600, false}, {0640, false}, {0664, false}, {0604, false}, {0664, true}}) {
        TempFolder folder;
        const std::string file = folder / "KNSimTool.ini";
        WriteFile(file, "[CONFIG]\r\n");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        if (RunningAsRoot()) {
            ASSERT_EQ(::chown(file.c_str(), own ? 0u : NobodyId, NobodyId), 0);
        }
        const struct stat before = StatOf(file);
        ASSERT_EQ(SafeFile::WriteReplacing(file, "[CONFIG]\r\nComPort=ttyUSB0\r\n\r\n"), 0);
        const struct stat after = StatOf(file);
        EXPECT_EQ(after.st_mode, before.st_mode) << std::oct << mode;
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(ReadFile(file), "[CONFIG]\r\nComPort=ttyUSB0\r\n\r\n");
    }
}
#endif

TEST(SettingsLocation, BesideAWritableProgramElseInTheConfigurationFolder) {
    TempFolder folder;
    struct Row {
        std::string Program;
        const char* Variable;  // nullptr: unset
        std::string Expected;
    };
#ifdef _WIN32
    // Whether the program's folder takes a file is tried with a probe file;
    // elsewhere %APPDATA%\KNSimTool.
    const char* variable = "APPDATA";
    const std::string beside = folder.Path() + "\\KNSimTool.ini";
    const std::vector<Row> rows = {
        {folder.Path(), "C:\\somewhere\\AppData", beside},
        {folder.Path() + "\\", nullptr, beside},
        {folder.Path() + "\\missing", "C:\\somewhere\\AppData", "C:\\somewhere\\AppData\\KNSimTool\\KNSimTool.ini"},
        {folder.Path() + "\\missing", "C:\\x\\", "C:\\x\\KNSimTool\\KNSimTool.ini"},
        // No APPDATA at all: the working folder.
        {folder.Path() + "\\missing", nullptr, "KNSimTool\\KNSimTool.ini"},
    };
#else
    // Whether the program's folder may be written; elsewhere
    // $XDG_CONFIG_HOME/KNSimTool, by default ~/.config/KNSimTool.
    const char* variable = "XDG_CONFIG_HOME";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "";
    const std::vector<Row> rows = {
        {folder.Path(), "/somewhere/config", folder / "KNSimTool.ini"},
        {folder.Path() + "/", nullptr, folder / "KNSimTool.ini"},
        {"/usr/bin", "/somewhere/config", "/somewhere/config/KNSimTool/KNSimTool.ini"},
        {"/usr/local/bin", "/somewhere/config/", "/somewhere/config/KNSimTool/KNSimTool.ini"},
        {folder / "missing", "/x", "/x/KNSimTool/KNSimTool.ini"},
        // A relative XDG_CONFIG_HOME counts as unset.
        {"/usr/bin", "relative", home + "/.config/KNSimTool/KNSimTool.ini"},
        {"/usr/bin", nullptr, home + "/.config/KNSimTool/KNSimTool.ini"},
    };
#endif
    const char* saved = std::getenv(variable);
    const std::string savedValue = saved ? saved : "";
    for (const Row& row : rows) {
        SetVariable(variable, row.Variable);
        EXPECT_EQ(SettingsFileFor(row.Program), row.Expected) << row.Program;
    }
    SetVariable(variable, saved ? savedValue.c_str() : nullptr);
    // Asking leaves nothing behind in the program's folder.
    EXPECT_TRUE(std::filesystem::is_empty(folder.Path()));
}
