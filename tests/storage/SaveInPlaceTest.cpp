// Saving files that a rename would change: a writable file in a folder that
// takes no new file, a file with two hard links, a file whose owner or mode
// must stay; and where the settings file goes.
#include "storage/SafeFile.h"
#include "storage/SettingsLocation.h"

#include "AsOtherUser.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

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

// A group of this user's other than the one new files get, such as the
// shared group of a bench's users; root may give a file any group.
std::optional<gid_t> SharedGroup() {
    if (RunningAsRoot()) return NobodyId;
    std::vector<gid_t> groups(static_cast<std::size_t>(std::max(::getgroups(0, nullptr), 0)) + 1);
    groups.resize(static_cast<std::size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
    for (const gid_t group : groups)
        if (group != ::getegid()) return group;
    return std::nullopt;
}

}  // namespace

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
    // hand the owner over; as another user only the mode can differ. A file
    // of the saver's own with a shared group (user:lab, 0664) keeps that
    // group, or the colleagues in it lose write access; without a second
    // group of this user that row cannot be made.
    struct Row {
        mode_t Mode;
        uid_t Owner;
        gid_t Group;
    };
    std::vector<Row> rows;
    const uid_t owner = RunningAsRoot() ? NobodyId : ::getuid();
    const gid_t group = RunningAsRoot() ? NobodyId : ::getegid();
    for (const mode_t mode : {0600, 0640, 0664, 0604}) rows.push_back({mode, owner, group});
    if (const auto lab = SharedGroup()) rows.push_back({0664, ::getuid(), *lab});
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << std::oct << row.Mode << std::dec << " " << row.Owner << ":" << row.Group);
        TempFolder folder;
        const std::string file = folder / "KNSimTool.ini";
        WriteFile(file, "[CONFIG]\r\n");
        ASSERT_EQ(::chmod(file.c_str(), row.Mode), 0);
        ASSERT_EQ(::chown(file.c_str(), row.Owner, row.Group), 0);
        const struct stat before = StatOf(file);
        ASSERT_EQ(SafeFile::WriteReplacing(file, "[CONFIG]\r\nComPort=ttyUSB0\r\n\r\n"), 0);
        const struct stat after = StatOf(file);
        EXPECT_EQ(after.st_mode, before.st_mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_EQ(ReadFile(file), "[CONFIG]\r\nComPort=ttyUSB0\r\n\r\n");
    }
}

TEST(SettingsLocation, BesideAWritableProgramElseInTheConfigurationFolder) {
    TempFolder folder;
    struct Row {
        std::string Program;
        const char* Xdg;   // nullptr: unset
        std::string Expected;
    };
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
    const char* saved = std::getenv("XDG_CONFIG_HOME");
    const std::string savedValue = saved ? saved : "";
    for (const Row& row : rows) {
        if (row.Xdg)
            ::setenv("XDG_CONFIG_HOME", row.Xdg, 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(SettingsFileFor(row.Program), row.Expected) << row.Program;
    }
    if (saved)
        ::setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
