// The window on Windows, its real widgets driven in this process against the
// emulator behind a wine-mapped COM port: what a user does and what the
// simulator receives, the files the window writes, and the closing requests
// Windows sends to a program (those in a program of their own, as is the
// bench window).

#include "WinTestSupport.h"

#include "base/WideText.h"

#include "app/CodeEdit.h"
#include "app/EditorPanel.h"
#include "app/StartOptions.h"
#include "app/Forms.h"
#include "app/uFileIo.h"
#include "app/uMain.h"

#include "Controls.h"
#include "ExampleSetup.h"
#include "QtWait.h"
#include "RunProgramWin32.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QtTest/QTest>

#include <windows.h>

#include <algorithm>
#include <memory>
#include <ostream>

namespace {

using Lines = std::vector<std::string>;

// The main window and its companions on a role's port, with the settings
// file in a folder of the test's own.
struct Window {
    TempFolder Folder{"kns-window"};
    std::unique_ptr<TForms> Forms;

    std::string Settings;

    explicit Window(const std::string& role, std::string settings = {})
        : Settings(settings.empty() ? Folder / "KNSimTool.ini" : std::move(settings)) {
        TStartOptions options;
        options.Port = PortFor(role);
        options.SettingsFile = QString::fromStdString(Settings);
        options.DevelopmentWindowPresent = [] { return false; };
        Forms = std::make_unique<TForms>(options);
        Main().show();
    }
    TMain& Main() { return Forms->Main(); }
    bool WaitForPolling(int limitMs = 20000) {
        return WaitWithEvents([&] { return Main().State() == SchedulerState::Polling; }, limitMs);
    }
};

// The commands of the log from the first line equal to first on.
Lines From(const Lines& commands, const std::string& first) {
    return {std::find(commands.begin(), commands.end(), first), commands.end()};
}

bool WaitForCommands(const EmulatorLog& log, std::size_t count, int limitMs = 10000) {
    return WaitWithEvents([&] { return log.NewCommands().size() >= count; }, limitMs);
}

}  // namespace

TEST(WinWindow, StartsPollsSendsTypedCodesAndChangesTheProtocol) {
    KNS_REQUIRE_PORT("WINDOW");
    const EmulatorLog start("WINDOW");
    Window window("WINDOW");
    TMain& main = window.Main();
    ASSERT_TRUE(window.WaitForPolling());
    EXPECT_EQ(Control<QLabel>(main, "LabSerial")->text(), QStringLiteral("KNWIN0004"));
    // Identity, configuration, remote mode, then one status read a second.
    ASSERT_TRUE(WaitForCommands(start, 7));
    const Lines first = start.NewCommands();
    EXPECT_EQ(Lines(first.begin(), first.begin() + 7), (Lines{"!I", "!B", "!S", "!C", "!K1", "!S", "!S"}));

    // Codes typed into the editor as a user types them.
    auto type = [&](int ecu, int slot, int category, const char* code) {
        main.Editor().CategoryControl(ecu, slot)->setCurrentIndex(category);
        TCodeEdit* field = main.Editor().CodeControl(ecu, slot);
        field->setFocus();
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(code));
    };
    type(1, 1, 0, "0301");  // P0301
    type(1, 2, 2, "3fff");  // B3FFF
    type(2, 1, 3, "0100");  // U0100
    Control<QComboBox>(main, "cbDtc1")->setCurrentIndex(2);
    Control<QComboBox>(main, "cbDtc2")->setCurrentIndex(1);
    Control<QCheckBox>(main, "chkMilOn")->setChecked(true);
    const EmulatorLog send("WINDOW");
    QTest::mouseClick(Control<QPushButton>(main, "ButSendDtc"), Qt::LeftButton);
    ASSERT_TRUE(WaitWithEvents([&] { return !From(send.NewCommands(), "!F1281").empty(); }));
    const std::string zeros(4 * 8, '0');
    const Lines expected{"!X0142" "0301" "BFFF" + zeros, "!X0156" "C100" + zeros + "0000", "!F1281"};
    EXPECT_EQ(Lines(From(send.NewCommands(), expected[0])).size(), 3u) << testing::PrintToString(send.NewCommands());
    EXPECT_EQ(From(send.NewCommands(), expected[0]), expected);

    // Another protocol is sent and the simulator read back.
    const EmulatorLog change("WINDOW");
    QComboBox* protocol = Control<QComboBox>(main, "cbActProto");
    protocol->setCurrentIndex(2);
    emit protocol->activated(2);
    ASSERT_TRUE(WaitWithEvents([&] { return From(change.NewCommands(), "!P03").size() >= 4; }));
    const Lines changed = From(change.NewCommands(), "!P03");
    EXPECT_EQ(Lines(changed.begin(), changed.begin() + 4), (Lines{"!P03", "!S", "!C", "!K1"}));
    EXPECT_TRUE(window.WaitForPolling());
    EXPECT_EQ(protocol->currentText(), QStringLiteral("3 - ISO9141"));
}

TEST(WinWindow, OpenAndSaveWriteTheFileByteForByte) {
    KNS_REQUIRE_PORT("WINDOW");
    Window window("WINDOW");
    TMain& main = window.Main();
    ASSERT_TRUE(window.WaitForPolling());
    QString chosen;
    window.Forms->FileIo().SetDialogRunner([&](QFileDialog&, const QString&) { return chosen; });

    // The example file as the Linux build writes it: CRLF, ISO-8859-1.
    const std::string example = ReadFile(ExampleFile());
    ASSERT_FALSE(example.empty());
    chosen = QString::fromStdString(window.Folder / "example.kns");
    WriteFile(chosen.toStdString(), example);
    const EmulatorLog open("WINDOW");
    Control<QAction>(main, "MnuOpenCfg")->trigger();
    ASSERT_TRUE(WaitWithEvents([&] { return !From(open.NewCommands(), "!F1281").empty(); }));
    EXPECT_TRUE(window.WaitForPolling());
    EXPECT_EQ(Control<QLabel>(main, "sBarPanel1")->text(), QStringLiteral("example.kns"));

    // Into a folder that the ANSI code page cannot name (Cyrillic and "Ł").
    chosen = QString::fromStdString(window.Folder.Path()) + QStringLiteral(u"/\u041F\u0430\u043F\u043A\u0430-\u0141/saved.kns");
    Control<QAction>(main, "MnuSaveCfg")->trigger();
    EXPECT_EQ(ReadFile(PathFromUtf8(chosen.toStdString())), example);
    EXPECT_EQ(Control<QLabel>(main, "sBarPanel1")->text(), QStringLiteral("saved.kns"));
}

TEST(WinWindow, ExitLeavesRemoteModeAndWritesTheSettingsFileWithCrLf) {
    KNS_REQUIRE_PORT("WINDOW");
    Window window("WINDOW");
    ASSERT_TRUE(window.WaitForPolling());
    const EmulatorLog close("WINDOW");
    window.Main().close();
    EXPECT_TRUE(close.WaitFor("!K0"));
    const std::string settings = ReadFile(window.Settings);
    EXPECT_NE(settings.find("ComPort=COM4\r\n"), std::string::npos) << settings;
    EXPECT_EQ(std::count(settings.begin(), settings.end(), '\n'), std::count(settings.begin(), settings.end(), '\r'))
        << "every line ends in CRLF";
}

TEST(WinWindow, MovedWindowComesBackWhereItsFrameWasLeft) {
    KNS_REQUIRE_PORT("WINDOW");
    const TempFolder folder("kns-placement");
    const std::string settings = folder / "KNSimTool.ini";
    const QPoint left(160, 120);
    RECT record{};
    {
        Window window("WINDOW", settings);
        ASSERT_TRUE(window.WaitForPolling());
        window.Main().move(left);  // a top-level window's position is its frame's
        ASSERT_TRUE(WaitWithEvents([&] { return window.Main().frameGeometry().topLeft() == left; }));
        GetWindowRect(reinterpret_cast<HWND>(window.Main().winId()), &record);
        window.Main().close();
    }
    // The record holds the window's rectangle as Windows reports it, with
    // the resize borders that Qt's frame leaves out.
    const std::string norm = "NormPos=" + std::to_string(record.left) + "," + std::to_string(record.top) + ",";
    EXPECT_NE(ReadFile(settings).find(norm), std::string::npos) << ReadFile(settings);
    Window again("WINDOW", settings);
    ASSERT_TRUE(again.WaitForPolling());
    EXPECT_TRUE(WaitWithEvents([&] { return again.Main().frameGeometry().topLeft() == left; }))
        << again.Main().frameGeometry().x() << "," << again.Main().frameGeometry().y();
}

TEST(WinWindow, DevelopmentWindowIsFoundByItsClassName) {
    EXPECT_FALSE(DevelopmentWindowExists());
    // The development environment registers its class as "TAppBuilder";
    // class names are compared without regard to case.
    WNDCLASSA kind{};
    kind.lpfnWndProc = DefWindowProcA;
    kind.hInstance = GetModuleHandleA(nullptr);
    kind.lpszClassName = "TAppBuilder";
    ASSERT_NE(RegisterClassA(&kind), 0);
    HWND builder = CreateWindowA("TAppBuilder", "Development window", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr,
                                 nullptr, kind.hInstance, nullptr);
    ASSERT_NE(builder, nullptr);
    EXPECT_TRUE(DevelopmentWindowExists());
    DestroyWindow(builder);
    UnregisterClassA("TAppBuilder", kind.hInstance);
    EXPECT_FALSE(DevelopmentWindowExists());
}

TEST(WinWindow, TheProgramFileCarriesItsVersionIconAndManifest) {
    const std::string program = ProgramFolder() + "knsimtool.exe";
    // --version on the console that started it (here: a file it was given).
    const ProgramRun version = RunProgram(program, {"--version"});
    EXPECT_EQ(version.ExitCode, 0);
    EXPECT_EQ(version.Out, "KARNOL-Simulator Tool v1.200\r\n");

    // What Explorer shows in the file's properties.
    DWORD ignored = 0;
    std::vector<char> info(GetFileVersionInfoSizeA(program.c_str(), &ignored));
    ASSERT_FALSE(info.empty());
    ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, static_cast<DWORD>(info.size()), info.data()));
    auto text = [&](const char* name) {
        char* value = nullptr;
        UINT length = 0;
        const std::string key = std::string("\\StringFileInfo\\040904B0\\") + name;
        return VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) && length > 0
                   ? std::string(value)
                   : std::string();
    };
    EXPECT_EQ(text("ProductName"), "KNSimTool");
    EXPECT_EQ(text("FileVersion"), "1.2.0");
    EXPECT_NE(text("FileDescription").find("KARNOL"), std::string::npos);

    HMODULE file = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(file, nullptr);
    EXPECT_NE(FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(14)), nullptr) << "no icon";  // RT_GROUP_ICON
    HRSRC manifest = FindResourceA(file, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));                 // RT_MANIFEST
    ASSERT_NE(manifest, nullptr);
    const std::string xml(static_cast<const char*>(LockResource(LoadResource(file, manifest))),
                          SizeofResource(file, manifest));
    for (const char* part : {"Microsoft.Windows.Common-Controls", "PerMonitorV2", "asInvoker"})
        EXPECT_NE(xml.find(part), std::string::npos) << part;
    FreeLibrary(file);
}

TEST(WinWindow, AnOlderSimulatorIsUpdatedAutomatically) {
    KNS_REQUIRE_PORT("UPDATE");
    const EmulatorLog log("UPDATE");
    Window window("UPDATE");
    // Found, the older version seen, 218 frames, then polling the new firmware.
    ASSERT_TRUE(WaitWithEvents([&] { return log.NewFrames() >= 218 && window.Main().State() == SchedulerState::Polling; },
                               120000));
    EXPECT_EQ(log.NewFrames(), 218);
    EXPECT_EQ(Control<QLabel>(window.Main(), "LabSimVersion")->text(), QStringLiteral("v1.2.0"));
}

// A closing request in the states where a window waits for the user: the
// program still ends as "Exit" does, within a few seconds.
namespace {

struct ClosingRow {
    const char* Name;
    const char* State;  // as window_signal_driver names it
    const char* Role;
    bool Connected;   // remote mode on when the request comes
    bool EndSession;  // the user logs off, instead of taskkill's close request
};

void PrintTo(const ClosingRow& row, std::ostream* os) { *os << row.Name; }

}  // namespace

class WinWindowClosing : public ::testing::TestWithParam<ClosingRow> {};

TEST_P(WinWindowClosing, EndsTheProgramAsExitDoes) {
    const ClosingRow& row = GetParam();
    KNS_REQUIRE_PORT(row.Role);
    const TempFolder folder("kns-closing");
    const std::string settings = folder / "KNSimTool.ini";
    const EmulatorLog log(row.Role);
    RunningProgram driver(ProgramFolder() + "window_signal_driver.exe", {row.State, PortFor(row.Role), settings});
    ASSERT_TRUE(WaitUntil([&] { return driver.Out().find("ready") != std::string::npos; }, 60000))
        << driver.Wait(0).Err;

    if (row.EndSession) {
        driver.EndSession();
    } else {
        EXPECT_GE(driver.PostClose(), 1);
    }
    const ProgramRun run = driver.Wait(10000);
    EXPECT_EQ(run.ExitCode, 0) << "still running or failed: " << run.Err;
    if (row.Connected) {
        EXPECT_TRUE(log.WaitFor("!K0", 1000));
    }
    EXPECT_NE(ReadFile(settings).find("ComPort=" + PortFor(row.Role)), std::string::npos) << ReadFile(settings);
}

INSTANTIATE_TEST_SUITE_P(States, WinWindowClosing,
                         ::testing::Values(ClosingRow{"polling", "polling", "CLOSING", true, false},
                                           ClosingRow{"message_box", "message_box", "CLOSING", true, false},
                                           ClosingRow{"session_end", "message_box", "CLOSING", true, true},
                                           ClosingRow{"reset_prompt", "reset_prompt", "CLOSING", false, false},
                                           ClosingRow{"update_failed", "update_failed", "UPDATEFAIL", false, false}),
                         [](const auto& info) { return std::string(info.param.Name); });

// The bench as "knsimtool.exe --bench --port COM7" runs it, in a program of
// its own that prints the rows it shows: the box's row as the box reports
// it (an older firmware and a protocol other than the emulator's default,
// so that neither can come from anywhere else), the status read repeating,
// and a close request as taskkill sends it, which leaves remote mode last.
TEST(WinBench, ShowsTheBoxPollsItAndLeavesRemoteModeWhenClosed) {
    KNS_REQUIRE_PORT("BENCH");
    const EmulatorLog log("BENCH");
    const std::string port = PortFor("BENCH");
    RunningProgram bench(ProgramFolder() + "bench_window_driver.exe", {"--bench", "--port", port});
    const std::string row = "row " + port + "|KNWIN0007|v1.1.0|3 - ISO9141|";
    ASSERT_TRUE(WaitUntil([&] { return bench.Out().find(row) != std::string::npos; }, 60000))
        << bench.Out() << bench.Wait(0).Err;
    const auto polls = [&] {
        const Lines after = From(log.NewCommands(), "!K1");
        return std::count(after.begin(), after.end(), "!S");
    };
    EXPECT_TRUE(WaitUntil([&] { return polls() >= 2; }, 20000)) << testing::PrintToString(log.NewCommands());

    EXPECT_GE(bench.PostClose(), 1);
    const ProgramRun run = bench.Wait(30000);
    EXPECT_EQ(run.ExitCode, 0) << "still running or failed: " << run.Err;
    ASSERT_TRUE(log.WaitFor("!K0"));
    EXPECT_EQ(log.NewCommands().back(), "!K0") << testing::PrintToString(log.NewCommands());
}
