// The lock files of other serial programs: a port whose lock file names a
// live process is in use; a stale one is taken over; ours goes at close.
#include "serial/ComPort.h"
#include "serial/PortLock.h"

#include <gtest/gtest.h>

#include "AsOtherUser.h"
#include "Pty.h"
#include "TestFiles.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string PidText(pid_t pid) {
    char text[16];
    std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(pid));
    return text;
}

// A private lock folder for each test, never the machine's /run/lock.
class PortLockTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("KNSIM_LOCK_DIR", folder.c_str(), 1);
        lockFile = folder / TPortLockFile::NameFor(pty.Path());
        port.SetPort(pty.Path());
    }
    void TearDown() override {
        port.Close();
        unsetenv("KNSIM_LOCK_DIR");
    }
    // A process that lives until killed, and one that is already gone.
    static pid_t LiveProcess() {
        const pid_t pid = fork();
        if (pid == 0) {
            pause();
            _exit(0);
        }
        return pid;
    }
    static pid_t GoneProcess() {
        const pid_t pid = fork();
        if (pid == 0) _exit(0);
        waitpid(pid, nullptr, 0);
        return pid;
    }
    static void End(pid_t pid) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }

    Pty pty;
    TComPort port;
    TempFolder temp{"kns-locks"};
    fs::path folder = temp.Path();
    fs::path lockFile;
};

}  // namespace

TEST_F(PortLockTest, NameFollowsTheDeviceFileName) {
    EXPECT_EQ(TPortLockFile::NameFor("/dev/no-such-ttyUSB7"), "LCK..no-such-ttyUSB7");
    const fs::path link = folder / "by-id-adapter";
    fs::create_symlink(pty.Path(), link);
    EXPECT_EQ(TPortLockFile::NameFor(link.string()), TPortLockFile::NameFor(pty.Path()));
}

TEST_F(PortLockTest, LiveHolderMeansInUseAndStaleFilesAreTakenOver) {
    const pid_t live = LiveProcess();
    struct Row {
        const char* Name;
        std::string Content;
        bool Opens;
    };
    const Row rows[] = {
        {"live holder, usual form", PidText(live), false},
        {"live holder, bare number", std::to_string(live), false},
        {"process gone", PidText(GoneProcess()), true},
        {"empty file", "", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteFile(lockFile, row.Content);
        if (row.Opens) {
            ASSERT_NO_THROW(port.Open());
            EXPECT_EQ(ReadFile(lockFile), PidText(getpid()));
            port.Close();
            EXPECT_FALSE(fs::exists(lockFile)) << "our lock file outlived the port";
        } else {
            try {
                port.Open();
                ADD_FAILURE() << "a port held through its lock file was opened";
            } catch (const EComPort& e) {
                EXPECT_EQ(e.Message(), "Unable to open com port (win error code: 16)");
            }
            EXPECT_FALSE(port.Connected());
            EXPECT_EQ(ReadFile(lockFile), row.Content) << "another program's lock file was touched";
            fs::remove(lockFile);
        }
    }
    End(live);
}

// kill(pid, 0) answers EPERM for another user's live process; root never gets
// it, so the check runs as nobody then, against this root process.
TEST_F(PortLockTest, LiveHolderOfAnotherUserMeansInUse) {
    struct stat init{};
    if (!RunningAsRoot() && (stat("/proc/1", &init) != 0 || init.st_uid == getuid())) GTEST_SKIP();
    const pid_t holder = RunningAsRoot() ? getpid() : 1;
    ASSERT_EQ(chmod(folder.c_str(), 01777), 0);  // like /run/lock
    WriteFile(lockFile, PidText(holder));
    ASSERT_EQ(chmod(lockFile.c_str(), 0644), 0);
    EXPECT_EQ(RunUnprivileged([&] { return TPortLockFile().Take(pty.Path()); }), EBUSY);
}

TEST_F(PortLockTest, SecondOpenInThisProcessIsRefusedAndAMissingFolderIsNoObstacle) {
    port.Open();
    TComPort second;
    second.SetPort(pty.Path());
    EXPECT_THROW(second.Open(), EComPort);
    EXPECT_TRUE(fs::exists(lockFile)) << "a refused open removed the holder's lock file";
    port.Close();

    setenv("KNSIM_LOCK_DIR", (folder / "missing").c_str(), 1);
    EXPECT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Connected());
}
