#include "AsOtherUser.h"
#include "Child.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>

namespace fs = std::filesystem;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// A folder that the user nobody can enter, when the tests run as root.
std::string OpenFolder(const TempFolder& folder) {
    ::chmod(folder.Path().c_str(), 0755);
    return folder.Path();
}

// Copies of the programs in a folder of their own, as an installation.
struct Installation {
    TempFolder root;
    std::string programs = OpenFolder(root) + "/bin";
    std::string config = root / "config";
    std::map<std::string, std::string> env = {
        {"XDG_CONFIG_HOME", config}, {"HOME", root / "home"}, {"QT_QPA_PLATFORM", "offscreen"}};

    Installation() {
        fs::create_directory(programs);
        for (const char* program : {KNS_WINDOW_PATH, KNS_CLI_PATH})
            fs::copy_file(program, fs::path(programs) / fs::path(program).filename());
    }
    std::string Program(const std::string& name) const { return programs + "/" + name; }
};

Child Start(const std::vector<std::string>& command, const std::map<std::string, std::string>& env) {
    return Child(command.front(), std::vector<std::string>(command.begin() + 1, command.end()), env);
}

}  // namespace

TEST(InstalledSettings, BesideAWritableProgramFolderElseInTheConfigurationFolder) {
    for (const bool readOnly : {false, true}) {
        SCOPED_TRACE(readOnly ? "read-only program folder" : "writable program folder");
        Installation install;
        const std::string beside = install.Program("KNSimTool.ini");
        const std::string inConfig = install.config + "/KNSimTool/KNSimTool.ini";
        const std::string expected = readOnly ? inConfig : beside;
        std::unique_ptr<ReadOnlyFolder> lock;
        if (readOnly) lock = std::make_unique<ReadOnlyFolder>(install.programs);
        auto withArgs = [&](const std::string& program, const std::vector<std::string>& args) {
            if (lock) return lock->Command(install.Program(program), args);
            std::vector<std::string> c{install.Program(program)};
            c.insert(c.end(), args.begin(), args.end());
            return c;
        };

        const Child::Result version = Start(withArgs("knsimtool-cli", {"--version"}), install.env).Wait(30000);
        EXPECT_EQ(version.Status, 0) << version.Err;
        EXPECT_TRUE(Contains(version.Out, "settings file: " + expected + "\n")) << version.Out;

        // The window connects, is closed as by the desktop, and must have
        // written its port; at the second start it must read the file back
        // (the window is placed where the file says).
        EmulatorChild emulator;
        for (int run = 1; run <= 2; ++run) {
            Child window = Start(withArgs("knsimtool", {"--port", emulator.Port()}), install.env);
            ASSERT_TRUE(emulator.WaitForLog("!K1", 30000, static_cast<std::size_t>(run))) << window.Err();
            window.Signal(SIGTERM);
            const Child::Result closed = window.Wait(30000);
            EXPECT_EQ(closed.Status, 0) << closed.Err;
            const std::string settings = ReadFile(expected);
            EXPECT_TRUE(Contains(settings, "ComPort=" + emulator.Port() + "\r\n")) << settings;
            EXPECT_FALSE(fs::exists(readOnly ? beside : inConfig));
            if (run == 1) {
                const std::regex position(R"((NormPos[^=\r]*)=[-0-9,]*)");
                WriteFile(expected, std::regex_replace(settings, position, "$1=100,150,750,600"));
            } else {
                EXPECT_TRUE(Contains(settings, "\r\nNormPos=100,150,")) << settings;
            }
        }
    }
}

TEST(InstalledPorts, PortHeldThroughALockFileIsInUseAndOurLockGoesAtTheEnd) {
    TempFolder locks;
    EmulatorChild emulator;
    const std::string lockFile = locks / ("LCK.." + fs::path(emulator.Port()).filename().string());
    const std::map<std::string, std::string> env = {{"KNSIM_LOCK_DIR", locks.Path()},
                                                    {"KNSIM_CLI_PORTS", "kns-no-such-port"}};
    // Another program (here: a child that just waits) holds the port.
    Child holder("/bin/sleep", {"60"});
    char content[16];
    std::snprintf(content, sizeof content, "%10d\n", static_cast<int>(holder.Pid()));
    WriteFile(lockFile, content);
    const Child::Result refused = Child(KNS_CLI_PATH, {"--port", emulator.Port(), "info"}, env).Wait(30000);
    EXPECT_EQ(refused.Status, 1);
    EXPECT_EQ(refused.Err, "Unable to open com port (win error code: 16)\n");
    EXPECT_TRUE(refused.Out.empty());
    EXPECT_TRUE(emulator.Log().empty()) << "something was sent to a port in use";
    EXPECT_EQ(ReadFile(lockFile), content);

    // Once the holder is gone its file is stale: taken over, and ours is
    // removed when the command ends on SIGTERM.
    holder.Signal(SIGKILL);
    holder.Wait(10000);
    Child watch(KNS_CLI_PATH, {"--port", emulator.Port(), "watch"}, env);
    ASSERT_NE(watch.ReadOutputLine(30000), "") << watch.Err();  // connected and watching
    char ours[16];
    std::snprintf(ours, sizeof ours, "%10d\n", static_cast<int>(watch.Pid()));
    EXPECT_EQ(ReadFile(lockFile), ours);
    watch.Signal(SIGTERM);
    const Child::Result ended = watch.Wait(30000);
    EXPECT_EQ(ended.Status, 0) << ended.Err;
    EXPECT_FALSE(fs::exists(lockFile));
}

TEST(InstalledPorts, PermissionDeniedKeepsItsTextAndSaysHowToGetAccess) {
    TempFolder programs;
    const std::string cli = OpenFolder(programs) + "/knsimtool-cli";
    fs::copy_file(KNS_CLI_PATH, cli);
    EmulatorChild emulator;
    const std::string device = emulator.Port();
    // As root the device goes to a group that nobody is not in; as another
    // user the device is closed to its owner.
    const group* dialout = ::getgrnam("dialout");
    const bool byGroup = RunningAsRoot() && dialout;
    if (byGroup) {
        ASSERT_EQ(::chown(device.c_str(), 0, dialout->gr_gid), 0);
        ASSERT_EQ(::chmod(device.c_str(), 0660), 0);
    } else {
        ASSERT_EQ(::chmod(device.c_str(), 0), 0);
    }
    const auto command = UnprivilegedCommand(cli, {"--port", device, "info"});
    const Child::Result denied = Start(command, {{"KNSIM_CLI_PORTS", "kns-no-such-port"}}).Wait(30000);
    ::chmod(device.c_str(), 0620);
    EXPECT_EQ(denied.Status, 1);
    const std::string first = "Unable to open com port (win error code: 13)\n";
    ASSERT_EQ(denied.Err.substr(0, first.size()), first) << denied.Err;
    const std::string advice = denied.Err.substr(first.size());
    EXPECT_EQ(std::count(advice.begin(), advice.end(), '\n'), 1) << advice;
    EXPECT_TRUE(Contains(advice, device)) << advice;
    if (byGroup)
        EXPECT_TRUE(Contains(advice, "join the group \"dialout\"") && Contains(advice, "log in again")) << advice;
    else
        EXPECT_TRUE(Contains(advice, "ask the administrator")) << advice;
}
