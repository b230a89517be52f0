// knsimtool.exe on a scaled screen: started at 100, 125, 150 and 200 %
// (wine's LogPixels, which each program reads as it starts) on the virtual
// screen, the settings file beside it. The file counts in the screen's own
// pixels; the same scale brings the window back to the same place, another
// scale centres it, and a place off the screen is never taken.

#include "WinTestSupport.h"

#include "storage/IniFile.h"

#include "RunProgramWin32.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <string>

namespace {

// The scale of the programs started from now on (scripts/test-windows.sh
// starts every run at 96).
void SetLogPixels(DWORD dpi) {
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, "Control Panel\\Desktop", "LogPixels", REG_DWORD, &dpi, sizeof dpi),
              ERROR_SUCCESS);
}

// Sets the scale back to 96 however the test ends (a failed assertion, an
// exception), so that the window tests after it run at 100 %.
struct ScaleSetBack {
    ScaleSetBack() = default;
    ScaleSetBack(const ScaleSetBack&) = delete;
    ScaleSetBack& operator=(const ScaleSetBack&) = delete;
    ~ScaleSetBack() { SetLogPixels(96); }
};

// Whole in the work area and centred there. The frame that is seen is
// centred; the window's rectangle also holds the invisible resize borders
// left, right and below it (up to 8 pixels at 200 %).
bool CentredWhole(const RECT& frame) {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return frame.left >= area.left && frame.top >= area.top && frame.right <= area.right &&
           frame.bottom <= area.bottom && std::abs((frame.left + frame.right) - (area.left + area.right)) <= 2 &&
           std::abs((frame.top + frame.bottom) - (area.top + area.bottom)) <= 10;
}

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

// The window program at a scale; its window's rectangle as a program that
// knows the scale reads it (this test declares itself so).
class Started {
public:
    Started(const std::string& program, DWORD dpi) {
        SetLogPixels(dpi);
        program_ = std::make_unique<RunningProgram>(program, std::vector<std::string>{"--port", PortFor("WINDOW")});
        EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(Window()); }, 60000)) << "no window";
    }
    ~Started() {
        program_->PostClose();
        EXPECT_EQ(program_->Wait(30000).ExitCode, 0);
    }
    // The test holds the window tests' lock: no other window has the title.
    static HWND Window() { return FindWindowA(nullptr, "KARNOL-Simulator Tool v1.200"); }
    static RECT Frame() {
        RECT frame{};
        GetWindowRect(Window(), &frame);
        return frame;
    }
    static bool WaitFor(const std::function<bool(const RECT&)>& where) {
        return WaitUntil([&] { return where(Frame()); }, 10000);
    }

private:
    std::unique_ptr<RunningProgram> program_;
};

}  // namespace

TEST(WinWindowScales, TheFileCountsInTheScreensPixelsAndAnotherScaleCentres) {
    KNS_REQUIRE_PORT("WINDOW");
    const ScaleSetBack setBack{};
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    // A copy of its own, so that the settings file lies beside it.
    const TempFolder folder("kns-scales");
    const std::string program = folder / "knsimtool.exe";
    std::filesystem::copy_file(ProgramFolder() + "knsimtool.exe", program);
    const std::string settings = folder / "KNSimTool.ini";
    const std::string screen =
        "(" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" + std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")";

    for (const DWORD dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " pixels per inch");
        // No file or one from another scale: centred. Moved by the user.
        RECT moved{};
        {
            const Started tool(program, dpi);
            EXPECT_TRUE(Started::WaitFor(CentredWhole)) << Text(Started::Frame());
            SetWindowPos(Started::Window(), nullptr, 120, 60, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
            EXPECT_TRUE(Started::WaitFor([](const RECT& r) { return r.left == 120 && r.top == 60; }));
            moved = Started::Frame();
        }
        IniFile ini(settings);
        EXPECT_EQ(ini.ReadInteger("Main\\PixelsPerInch", 0), static_cast<int>(dpi));
        EXPECT_EQ(ini.ReadString("Main\\NormPos" + screen, ""), Text(moved)) << ReadFile(settings);
        EXPECT_EQ(ini.ReadString("Main\\NormPos", ""), Text(moved));

        // The same scale: the same place.
        const Started again(program, dpi);
        EXPECT_TRUE(Started::WaitFor([&](const RECT& r) { return r.left == moved.left && r.top == moved.top; }))
            << Text(Started::Frame()) << " instead of " << Text(moved);
    }

    // A place off the screen (a screen that has gone, another machine's
    // file): the window comes whole onto this one, centred.
    WriteFile(settings, "[Main]\r\nPixelsPerInch=192\r\nNormPos" + screen + "=1500,900,2768,1650\r\n");
    {
        const Started off(program, 192);
        EXPECT_TRUE(Started::WaitFor(CentredWhole)) << Text(Started::Frame());
    }
}
