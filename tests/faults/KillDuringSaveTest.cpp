// A process killed at a random moment while it saves a configuration file
// or the settings file: afterwards the file is whole, either the old version
// or the new one, never a mixture or a stump.

#include "FaultSupport.h"

#include "base/Failure.h"
#include "storage/CfgFile.h"
#include "storage/CfgMapping.h"
#include "storage/ConfigDocument.h"
#include "storage/IniFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int Rounds = 12;

CfgSetup SetupA() {
    CfgSetup s;
    s.Protocol = 6;
    s.EcuCount = 2;
    s.MilOn = true;
    s.Count1 = 2;
    s.Count2 = 1;
    for (auto& slot : s.Ecu1) slot = {0, "0000"};
    for (auto& slot : s.Ecu2) slot = {0, "0000"};
    s.Ecu1[0] = {0, "0301"};
    s.Ecu1[1] = {0, "0420"};
    s.Ecu2[0] = {3, "0100"};
    return s;
}

CfgSetup SetupB() {
    CfgSetup s;
    s.Protocol = 3;
    s.EcuCount = 1;
    s.MilOn = false;
    s.Count1 = 10;
    s.Count2 = 0;
    for (int i = 0; i < DtcSlots; ++i) s.Ecu1[static_cast<std::size_t>(i)] = {i % 4, "1" + std::to_string(100 + i)};
    for (auto& slot : s.Ecu2) slot = {2, "3FFF"};
    return s;
}

// Runs save(i) for i = 0, 1, 2, ... in a child process until it is killed
// at a random moment, Rounds times; check() looks at the file after each kill.
void KillWhileSaving(const std::function<void(int)>& save, const std::function<void()>& check) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayUs(2000, 60000);
    for (int round = 0; round < Rounds; ++round) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            try {
                for (int i = 0;; ++i) save(i);
            } catch (...) {
            }
            _exit(3);  // a save failed: the parent sees it
        }
        usleep(static_cast<useconds_t>(delayUs(random)));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the saving process ended by itself with " << WEXITSTATUS(status);
        check();
        if (::testing::Test::HasFatalFailure() || ::testing::Test::HasNonfatalFailure()) return;
    }
}

// Files in the folder beside the ones named.
std::vector<std::string> OtherFiles(const std::string& folder, const std::vector<std::string>& known) {
    std::vector<std::string> others;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name == "." || name == ".." || std::find(known.begin(), known.end(), name) != known.end()) continue;
            others.push_back(name);
        }
        closedir(dir);
    }
    return others;
}

}  // namespace

TEST(KillDuringSave, ConfigurationFileIsTheOldOrTheNewOne) {
    const TempFolder temp;
    const std::string& folder = temp.Path();
    const std::string path = temp / "Bench.kns";
    // A file edited by hand with a long note: saving over it keeps the note,
    // so every save writes a few hundred kilobytes and a kill lands mid-write.
    const std::string note(300 * 1024, 'n');
    WriteFile(path, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n<CONFIG>\r\n  <Note>" + note +
                             "</Note>\r\n</CONFIG>\r\n");
    {
        CfgFile first;
        first.Save(path, SetupA(), 0x120);
    }
    const CfgSetup a = SetupA(), b = SetupB();

    KillWhileSaving(
        [&](int i) {
            CfgFile file;  // a new run each time: the file is read before it is written
            file.Save(path, i % 2 ? a : b, 0x120);
        },
        [&] {
            ConfigDocument doc;
            ASSERT_NO_THROW(CfgFile::Load(doc, path)) << "the file no longer opens";
            CfgSetup read;
            ApplyDocument(doc, read);
            EXPECT_TRUE(read == a || read == b) << "the file holds neither version";
            const std::string* kept = doc.ReadValue("Note");
            ASSERT_NE(kept, nullptr);
            EXPECT_EQ(kept->size(), note.size());
        });
    // Temporary files of killed saves may stay behind; they never replace the file.
    for (const std::string& other : OtherFiles(folder, {"Bench.kns"}))
        EXPECT_EQ(other.rfind("Bench.kns.tmp", 0), 0u) << other;
}

TEST(KillDuringSave, SettingsFileIsTheOldOrTheNewOne) {
    const TempFolder temp;
    const std::string path = temp / "KNSimTool.ini";
    const std::string valueA(200 * 1024, 'a'), valueB(150 * 1024, 'b');
    auto fileWith = [](const std::string& value) {
        return "[Main]\r\nFormVersion=0\r\nBig=" + value + "\r\n\r\n[CONFIG]\r\nComPort=ttyUSB0\r\n\r\n";
    };
    const std::string withA = fileWith(valueA), withB = fileWith(valueB);
    WriteFile(path, withA);

    KillWhileSaving(
        [&](int i) {
            IniFile ini(path);
            ini.WriteString("Main\\Big", i % 2 ? valueA : valueB);
        },
        [&] {
            const std::string text = ReadFile(path);
            EXPECT_TRUE(text == withA || text == withB)
                << "a settings file of " << text.size() << " bytes is neither version";
        });
}
