// knsimtool-cli.exe end to end on Windows: run as a user runs it, against the
// emulator behind a wine-mapped COM port.

#include "WinTestSupport.h"

#include "ExampleSetup.h"
#include "RunProgramWin32.h"

#include "base/WideText.h"
#include "cli/StepProcess.h"
#include "serial/ComPort.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <thread>

namespace {

// Standard output is in text mode on Windows: "\r\n" line ends, read here as "\n".
ProgramRun Cli(const std::vector<std::string>& args) {
    ProgramRun run = RunProgram(ProgramFolder() + "knsimtool-cli.exe", args);
    for (std::string* text : {&run.Out, &run.Err}) std::erase(*text, '\r');
    return run;
}

}  // namespace

TEST(WinCli, InfoAsJsonShowsTheSimulatorsSerialNumber) {
    KNS_REQUIRE_PORT("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "info", "--json"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("\"serial\":\"KNWIN0012\""), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("\"port\":\"COM12\""), std::string::npos) << run.Out;
}

TEST(WinCli, InfoThroughASerialDeviceServer) {
    // ser2net on the host's loopback interface, reached through wine's Winsock.
    KNS_REQUIRE_PORT("NETWORK");
    const EmulatorLog log("NETWORK");
    const ProgramRun run = Cli({"--port", PortFor("NETWORK"), "info"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("KNWIN0013"), std::string::npos) << run.Out;
    const auto sent = log.NewCommands();
    ASSERT_GE(sent.size(), 2u) << testing::PrintToString(sent);
    EXPECT_EQ(sent[0], "!I");
    EXPECT_EQ(sent[1], "!B");
    EXPECT_EQ(sent.back(), "!K0");
}

TEST(WinCli, SetCodesSendsTheEditorsLinesAndReadsBack) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "set-codes", "--ecu1", "P0301,C1234", "--ecu2", "U0001"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const auto sent = log.NewCommands();
    const std::string zeros(4 * 8, '0');
    const std::vector<std::string> expected{"!X014203015234" + zeros, "!X0156C001" + zeros + "0000", "!F1281"};
    ASSERT_TRUE(std::search(sent.begin(), sent.end(), expected.begin(), expected.end()) != sent.end())
        << testing::PrintToString(sent);
    EXPECT_NE(run.Out.find("P0301"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("U0001"), std::string::npos) << run.Out;
}

TEST(WinCli, UpdateFirmwareTransfersEveryFrame) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "update-firmware", "--always"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_EQ(log.NewFrames(), 218);
    EXPECT_NE(run.Out.find("KNWIN0012"), std::string::npos) << run.Out;
}

TEST(WinCli, FailuresEndWithTheirExitStatus) {
    KNS_REQUIRE_PORT("MISSING");
    const ProgramRun missing = Cli({"--port", PortFor("MISSING"), "info"});
    EXPECT_EQ(missing.ExitCode, 1);
    EXPECT_NE(missing.Err.find("Unable to open com port (win error code: 2)"), std::string::npos) << missing.Err;
    EXPECT_EQ(missing.Out, "");

    const ProgramRun usage = Cli({"--port", PortFor("MISSING"), "set-codes", "--ecu1", "X9999"});
    EXPECT_EQ(usage.ExitCode, 2) << usage.Err;

    const ProgramRun file = Cli({"--port", PortFor("MISSING"), "apply", "Z:\\no\\such\\folder\\setup.xml"});
    EXPECT_EQ(file.ExitCode, 3) << file.Err;
}

TEST(WinCli, PortsAreListedInNaturalOrder) {
    KNS_REQUIRE_PORT("CLI");
    const ProgramRun run = Cli({"ports"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    const std::size_t com2 = run.Out.find("COM2\n"), com3 = run.Out.find("COM3\n");
    const std::size_t com10 = run.Out.find("COM10\n"), com12 = run.Out.find("COM12\n");
    ASSERT_NE(com2, std::string::npos) << run.Out;
    ASSERT_NE(com12, std::string::npos) << run.Out;
    EXPECT_LT(com2, com3);
    EXPECT_LT(com3, com10);
    EXPECT_LT(com10, com12);
}

TEST(WinCli, SettingsFileLiesBesideTheProgram) {
    const ProgramRun run = Cli({"--version"});
    ASSERT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_NE(run.Out.find("settings file: " + ProgramFolder() + "KNSimTool.ini\n"), std::string::npos) << run.Out;
}

TEST(WinCli, AOneStepPlanRunsItsCommandThroughCmdAndWritesJUnit) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    char folder[MAX_PATH + 1];
    GetTempPathA(sizeof folder, folder);
    const std::string plan = std::string(folder) + "knsim-plan.toml";
    const std::string junit = std::string(folder) + "knsim-plan.xml";
    {
        std::ofstream file(plan, std::ios::binary);
        file << "name = \"windows\"\n[env]\nGREETING = \"hello\"\n"
                "[[step]]\nname = \"codes\"\nprotocol = 4\necus = 1\necu1 = [\"P0301\"]\necu2 = []\n"
                "run = 'echo %GREETING% %KNSIM_SERIAL% %KNSIM_ECU1_CODES%& exit 0'\n"
                "[step.expect]\ncodes = 1\n";
    }
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "run", plan, "--junit", junit});
    ASSERT_EQ(run.ExitCode, 0) << run.Err << run.Out;
    const auto sent = log.NewCommands();
    EXPECT_NE(std::find(sent.begin(), sent.end(), "!P04"), sent.end()) << testing::PrintToString(sent);
    std::ifstream in(junit, std::ios::binary);
    const std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(xml.find("<testsuite name=\"KNWIN0012\" tests=\"1\" failures=\"0\" errors=\"0\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("<system-out>hello KNWIN0012 P0301"), std::string::npos) << xml;
}

namespace {

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
}

// How many processes of that name run now.
int Running(const wchar_t* name) {
    HANDLE all = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    int count = 0;
    for (BOOL more = Process32FirstW(all, &entry); more; more = Process32NextW(all, &entry))
        count += _wcsicmp(entry.szExeFile, name) == 0;
    CloseHandle(all);
    return count;
}

// A folder of that name under the temporary folder.
std::wstring NamedFolder(const wchar_t* name) {
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    const std::wstring folder = std::wstring(temp) + name;
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

}  // namespace

// A step's command gets its line, variables and folder as written in the
// plan (UTF-8), and no handle of ours but its standard ones: a file this
// process closes while the command runs is closed, not kept open by it.
TEST(WinStep, TheCommandGetsItsUtf8AndNoHandleOfOurs) {
    const std::wstring folder = NamedFolder(L"knsim-step-\u00fc");
    const std::wstring held = folder + L"\\held.txt";
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE file = CreateFileW(held.c_str(), GENERIC_WRITE, 0, &inheritable, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << GetLastError();

    CommandRun run;
    std::thread step([&] {
        run = RunStepCommand("echo %GREETING%> \"gr\xC3\xBC\xC3\x9F" "e.txt\" & ping -n 4 127.0.0.1 > nul",
                             {{"GREETING", "Gr\xC3\xBC\xC3\x9F" "e"}}, Utf8FromWide(folder), 60);
    });
    ASSERT_TRUE(WaitUntil([&] { return Exists(folder + L"\\gr\u00fc\u00dfe.txt"); }, 20000));
    CloseHandle(file);
    HANDLE again = CreateFileW(held.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "still open in the command: error " << GetLastError();
    if (again != INVALID_HANDLE_VALUE) CloseHandle(again);
    step.join();
    EXPECT_EQ(run.ExitStatus, 0) << run.StartFailure << run.Err;
}

// Letters that no single ANSI code page holds together: Cyrillic and the
// Polish "Ł" (Western systems have neither, Cyrillic ones have no "Ł").
#define KNS_BEYOND_CODE_PAGE L"\u041F\u0440\u043E\u0432\u0435\u0440\u043A\u0430-\u0141ukasz"

// A plan in a folder that the ANSI code page cannot name applies a file
// there, runs its commands there with the folder's name whole, and writes
// its report there; a step's time-out ends the command and what it started.
TEST(WinCli, APlanIsUtf8EndToEndAndATimeOutEndsTheWholeTree) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const std::wstring folder = NamedFolder(L"knsim-" KNS_BEYOND_CODE_PAGE);
    ASSERT_TRUE(CopyFileW(WideFromUtf8(ExampleFile()).c_str(), (folder + L"\\Einstellung-\u0416.kns").c_str(), FALSE));
    DeleteFileW((folder + L"\\erreicht-\u0141.txt").c_str());
    DeleteFileW((folder + L"\\report.xml").c_str());
    // The step passes only when the folder it is given names this folder.
    WriteBytes(folder + L"\\plan.toml",
               "[[step]]\nname = \"apply\"\napply = \"Einstellung-\xD0\x96.kns\"\n"
               "run = 'if exist \"%KNSIM_PLAN_DIR%\\plan.toml\" (echo found> \"erreicht-\xC5\x81.txt\") else (exit 3)'\n"
               "[[step]]\nname = \"hangs\"\ntimeout = 3\n"
               "run = 'start /b ping -n 60 127.0.0.1 > nul & ping -n 60 127.0.0.1 > nul'\n");
    const std::string utf8 = Utf8FromWide(folder);
    const ProgramRun run = Cli({"--port", PortFor("CLI"), "run", utf8 + "\\plan.toml", "--junit", utf8 + "\\report.xml"});
    EXPECT_EQ(run.ExitCode, 1) << run.Err << run.Out;
    EXPECT_NE(run.Out.find("1 passed, 1 failed"), std::string::npos) << run.Out;
    EXPECT_TRUE(Exists(folder + L"\\erreicht-\u0141.txt"));
    EXPECT_TRUE(Exists(folder + L"\\report.xml"));
    const auto sent = log.NewCommands();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const std::string& c) { return c.rfind("!X0142", 0) == 0; }))
        << testing::PrintToString(sent);
    EXPECT_EQ(Running(L"ping.exe"), 0);
}

// Ctrl+C during a step: the command's whole tree ends, the box leaves
// remote mode and the report is written.
TEST(WinCli, CtrlCEndsAPlanWithItsReportWritten) {
    KNS_REQUIRE_PORT("CLI");
    const EmulatorLog log("CLI");
    const std::wstring folder = NamedFolder(L"knsim-ctrl-c");
    const std::string ansi = Utf8FromWide(folder);
    DeleteFileW((folder + L"\\started.txt").c_str());
    WriteBytes(folder + L"\\plan.toml", "[[step]]\nname = \"long\"\n"
                                        "run = 'echo started> started.txt & ping -n 60 127.0.0.1 > nul'\n"
                                        "[[step]]\nname = \"after\"\nrun = 'exit 0'\n");
    RunningProgram cli(ProgramFolder() + "knsimtool-cli.exe",
                       {"--port", PortFor("CLI"), "run", ansi + "\\plan.toml", "--junit", ansi + "\\report.xml"}, true);
    ASSERT_TRUE(WaitUntil([&] { return Exists(folder + L"\\started.txt"); }, 30000));
    ASSERT_TRUE(cli.SendCtrlC()) << GetLastError();
    const ProgramRun run = cli.Wait(30000);
    EXPECT_EQ(run.ExitCode, 128 + 2) << run.Err;
    std::ifstream in(ansi + "\\report.xml", std::ios::binary);
    const std::string xml{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_NE(xml.find("tests=\"2\" failures=\"0\" errors=\"1\" skipped=\"1\""), std::string::npos) << xml;
    EXPECT_EQ(Running(L"ping.exe"), 0);
    EXPECT_TRUE(log.WaitFor("!K0"));
}

// save and apply with a file in a folder that the ANSI code page cannot
// name: the file lands there under its own name, and applying it sends it.
TEST(WinCli, SaveAndApplyAFileBeyondTheCodePage) {
    KNS_REQUIRE_PORT("CLI");
    const std::wstring folder = NamedFolder(L"knsim-files-" KNS_BEYOND_CODE_PAGE);
    const std::wstring file = folder + L"\\\u0423\u0441\u0442\u0430\u043D\u043E\u0432\u043A\u0430-\u0141.kns";
    DeleteFileW(file.c_str());
    const ProgramRun saved = Cli({"--port", PortFor("CLI"), "save", Utf8FromWide(file)});
    ASSERT_EQ(saved.ExitCode, 0) << saved.Err;
    ASSERT_TRUE(Exists(file)) << saved.Out;
    const EmulatorLog log("CLI");
    const ProgramRun applied = Cli({"--port", PortFor("CLI"), "apply", Utf8FromWide(file)});
    EXPECT_EQ(applied.ExitCode, 0) << applied.Err;
    const auto sent = log.NewCommands();
    EXPECT_TRUE(std::any_of(sent.begin(), sent.end(), [](const std::string& c) { return c.rfind("!X", 0) == 0; }))
        << testing::PrintToString(sent);
}

// A program started while a device-server connection is open, by a starter
// that hands on every inheritable handle: once the port is closed, the
// server is free for the next client while that program still runs (ser2net
// takes one client per port and refuses the next as "in use").
TEST(WinCli, AChildStartedMeanwhileDoesNotHoldTheNetworkConnection) {
    KNS_REQUIRE_PORT("NETWORK");
    wchar_t system[MAX_PATH + 1];
    const UINT n = GetSystemDirectoryW(system, MAX_PATH + 1);
    const std::string ping = Utf8FromWide(std::wstring_view(system, n)) + "\\ping.exe";
    std::unique_ptr<RunningProgram> child;
    {
        TComPort port;
        port.SetPort(PortFor("NETWORK"));
        port.Open();
        // Ended by its owner, this test, when it goes out of scope.
        child = std::make_unique<RunningProgram>(ping, std::vector<std::string>{"-n", "60", "127.0.0.1"}, false,
                                                 Inheritance::Everything);
        port.Close();
    }
    const EmulatorLog log("NETWORK");
    const ProgramRun run = Cli({"--port", PortFor("NETWORK"), "info"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err;
    EXPECT_TRUE(log.WaitFor("!I")) << run.Err;
    EXPECT_EQ(child->Wait(0).ExitCode, -1) << "the child ended early; the test proves nothing";
}
