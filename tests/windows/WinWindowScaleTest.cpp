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
#include <memory>
#include <string>

namespace {

// This test reads other programs' windows in the screen's own pixels, as a
// program that knows the scale does.
void SeeScreenPixels() {
    using SetContext = BOOL(WINAPI*)(HANDLE);
    const auto set = reinterpret_cast<SetContext>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "SetProcessDpiAwarenessContext")));
    ASSERT_NE(set, nullptr);
    set(reinterpret_cast<HANDLE>(-4));  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
}

// The scale the programs started from now on see; the one before comes back.
class LogPixels {
public:
    LogPixels() {
        DWORD size = sizeof before_;
        had_ = RegGetValueA(HKEY_CURRENT_USER, Key, Name, RRF_RT_REG_DWORD, nullptr, &before_, &size) == ERROR_SUCCESS;
    }
    ~LogPixels() {
        if (had_)
            Set(before_);
        else
            RegDeleteKeyValueA(HKEY_CURRENT_USER, Key, Name);
    }
    static void Set(DWORD dpi) {
        ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, Key, Name, REG_DWORD, &dpi, sizeof dpi), ERROR_SUCCESS);
    }

private:
    static constexpr const char* Key = "Control Panel\\Desktop";
    static constexpr const char* Name = "LogPixels";
    DWORD before_ = 96;
    bool had_ = false;
};

RECT WorkArea() {
    RECT area{};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

bool Inside(const RECT& frame, const RECT& area) {
    return frame.left >= area.left && frame.top >= area.top && frame.right <= area.right && frame.bottom <= area.bottom;
}

// Its centre on the work area's. The frame that is seen is centred; the
// window's rectangle also holds the invisible resize borders left, right
// and below it (up to 8 pixels at 200 %).
bool Centred(const RECT& frame) {
    const RECT area = WorkArea();
    return std::abs((frame.left + frame.right) - (area.left + area.right)) <= 2 &&
           std::abs((frame.top + frame.bottom) - (area.top + area.bottom)) <= 10;
}

// The window program at a scale, with its main window found.
class Started {
public:
    Started(const std::string& program, DWORD dpi) {
        LogPixels::Set(dpi);
        program_ = std::make_unique<RunningProgram>(program, std::vector<std::string>{"--port", PortFor("WINDOW")});
        EXPECT_TRUE(WaitUntil([&] { return (window_ = Find()) != nullptr; }, 60000)) << "no window";
    }
    RECT Frame() const {
        RECT frame{};
        GetWindowRect(window_, &frame);
        return frame;
    }
    bool WaitFor(const std::function<bool(const RECT&)>& where) const {
        return WaitUntil([&] { return window_ && where(Frame()); }, 10000);
    }
    void Move(int x, int y) const { SetWindowPos(window_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }
    ~Started() {
        program_->PostClose();
        EXPECT_EQ(program_->Wait(30000).ExitCode, 0);
    }

private:
    HWND Find() const {
        struct Search {
            DWORD Id;
            HWND Found = nullptr;
        } search{program_->Id()};
        EnumWindows(
            [](HWND window, LPARAM param) -> BOOL {
                auto& s = *reinterpret_cast<Search*>(param);
                DWORD owner = 0;
                char title[64] = {};
                GetWindowThreadProcessId(window, &owner);
                GetWindowTextA(window, title, sizeof title);
                if (owner == s.Id && IsWindowVisible(window) && std::string(title).rfind("KARNOL", 0) == 0)
                    s.Found = window;
                return s.Found == nullptr;
            },
            reinterpret_cast<LPARAM>(&search));
        return search.Found;
    }

    std::unique_ptr<RunningProgram> program_;
    HWND window_ = nullptr;
};

std::string Text(const RECT& r) {
    return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom);
}

}  // namespace

TEST(WinWindowScales, TheFileCountsInTheScreensPixelsAndAnotherScaleCentres) {
    KNS_REQUIRE_PORT("WINDOW");
    SeeScreenPixels();
    const LogPixels restoreAtEnd;
    // A copy of its own, so that the settings file lies beside it.
    const TempFolder folder("kns-scales");
    const std::string program = folder / "knsimtool.exe";
    std::filesystem::copy_file(ProgramFolder() + "knsimtool.exe", program);
    const std::string settings = folder / "KNSimTool.ini";
    const std::string screen =
        "(" + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "x" + std::to_string(GetSystemMetrics(SM_CYSCREEN)) + ")";
    const auto whole = [](const RECT& frame) { return Inside(frame, WorkArea()); };

    for (const DWORD dpi : {96, 120, 144, 192}) {
        SCOPED_TRACE("at " + std::to_string(dpi) + " pixels per inch");
        // No file or one from another scale: centred. Moved by the user.
        RECT moved{};
        {
            const Started tool(program, dpi);
            EXPECT_TRUE(tool.WaitFor(Centred)) << Text(tool.Frame());
            EXPECT_TRUE(whole(tool.Frame())) << Text(tool.Frame());
            tool.Move(120, 60);
            EXPECT_TRUE(tool.WaitFor([](const RECT& r) { return r.left == 120 && r.top == 60; })) << Text(tool.Frame());
            moved = tool.Frame();
        }
        IniFile ini(settings);
        EXPECT_EQ(ini.ReadInteger("Main\\PixelsPerInch", 0), static_cast<int>(dpi));
        EXPECT_EQ(ini.ReadString("Main\\NormPos" + screen, ""), Text(moved)) << ReadFile(settings);
        EXPECT_EQ(ini.ReadString("Main\\NormPos", ""), Text(moved));
        EXPECT_TRUE(ini.ValueExists("Main\\MinMaxPos" + screen));

        // The same scale: the same place.
        const Started again(program, dpi);
        EXPECT_TRUE(again.WaitFor([&](const RECT& r) { return r.left == moved.left && r.top == moved.top; }))
            << Text(again.Frame()) << " instead of " << Text(moved);
    }

    // A place off the screen (a screen that has gone, another machine's
    // file): the window comes whole onto this one, centred.
    WriteFile(settings, "[Main]\r\nPixelsPerInch=192\r\nNormPos" + screen + "=1500,900,2768,1650\r\n");
    const Started off(program, 192);
    EXPECT_TRUE(off.WaitFor(Centred)) << Text(off.Frame());
    EXPECT_TRUE(whole(off.Frame())) << Text(off.Frame());
}
