#include "app/WindowPlacement.h"

#include "base/Failure.h"
#include "QtWait.h"
#include "TestFiles.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace fs = std::filesystem;

namespace {

std::string ScreenKey(const char* name) {
    const QSize s = QGuiApplication::primaryScreen()->size();
    return std::string(name) + "(" + std::to_string(s.width()) + "x" + std::to_string(s.height()) + ")";
}

int Ppi() { return qRound(QGuiApplication::primaryScreen()->logicalDotsPerInch()); }

class WindowPlacementTest : public ::testing::Test {
protected:
    void SetUp() override {
        path = dir / "KNSimTool.ini";
        window.setFixedSize(634, 351);
        window.move(40, 30);
    }

    // The window as the main window would show it: placement first.
    std::string ShowWithSettings(const std::string& settings) {
        WriteFile(path, settings);
        // The placement stays until the window is framed.
        ini = std::make_unique<IniFile>(path.string());
        placement = std::make_unique<WindowPlacement>(window, *ini);
        std::string error;
        try {
            placement->Restore();
        } catch (const EConvertError& e) {
            error = e.Message();
        }
        restored = placement->PositionRestored();
        window.show();
        QApplication::processEvents();
        return error;
    }

    TempFolder folder;
    fs::path dir = folder.Path();
    fs::path path;
    QWidget window;
    std::unique_ptr<IniFile> ini;
    std::unique_ptr<WindowPlacement> placement;
    bool restored = false;
};

}  // namespace

TEST_F(WindowPlacementTest, FirstRunWritesMainBeforeConfig) {
    window.show();
    QApplication::processEvents();
    window.move(200, 120);
    QApplication::processEvents();
    const QRect frame = window.frameGeometry();
    {
        IniFile ini(path.string());
        WindowPlacement placement(window, ini);
        placement.Save();
        window.move(5, 5);
        placement.Save();  // once per run
        ini.SetDefaultSection("CONFIG");
        ini.WriteString("ComPort", "COM3");
    }
    const std::string norm = std::to_string(frame.left()) + "," + std::to_string(frame.top()) + "," +
                             std::to_string(frame.left() + frame.width()) + "," +
                             std::to_string(frame.top() + frame.height());
    EXPECT_EQ(frame.topLeft(), QPoint(200, 120));
    EXPECT_EQ(ReadFile(path), "[Main]\r\nFormVersion=0\r\nShowCmd=1\r\nFlags=0\r\nPixelsPerInch=" +
                                  std::to_string(Ppi()) + "\r\n" + ScreenKey("MinMaxPos") +
                                  "=-1,-1,-1,-1\r\nMinMaxPos=-1,-1,-1,-1\r\n" + ScreenKey("NormPos") + "=" + norm +
                                  "\r\nNormPos=" + norm + "\r\n\r\n[CONFIG]\r\nComPort=COM3\r\n\r\n");
}

TEST_F(WindowPlacementTest, RestoresThePositionWithTheDesignedSize) {
    ShowWithSettings("[Main]\r\nPixelsPerInch=" + std::to_string(Ppi()) + "\r\n" + ScreenKey("NormPos") +
                     "=100,120,1300,900\r\nNormPos=10,10,20,20\r\n");
    EXPECT_TRUE(restored);
    EXPECT_EQ(window.pos(), QPoint(100, 120));
    EXPECT_EQ(window.size(), QSize(634, 351));
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(WindowPlacementTest, PositionOffEveryScreenComesBackOntoThePrimaryOne) {
    // Saved on a larger or a second screen that is gone now.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ShowWithSettings("[Main]\r\nNormPos=" + std::to_string(area.right() + 500) + "," +
                     std::to_string(area.bottom() + 400) + ",0,0\r\n");
    EXPECT_FALSE(restored);
    // The whole frame is on the screen, centred.
    EXPECT_TRUE(WaitWithEvents([&] { return (window.frameGeometry().center() - area.center()).manhattanLength() <= 2; }))
        << window.frameGeometry().x() << "," << window.frameGeometry().y();
    EXPECT_TRUE(area.contains(window.frameGeometry()));

    // So is one at the ends of the numbers' range, either edge (an overflow
    // there is for the sanitizer build to see).
    for (const char* ends : {"2147483647,-2147483648", "-2147483648,2147483647"}) {
        window.hide();
        ShowWithSettings(std::string("[Main]\r\nNormPos=") + ends + ",0,0\r\n");
        EXPECT_FALSE(restored) << ends;
    }

    // A window only partly on the screen is centred too.
    window.hide();
    const QPoint partly(area.right() - 100, area.top() + 20);
    ShowWithSettings("[Main]\r\nNormPos=" + std::to_string(partly.x()) + "," + std::to_string(partly.y()) +
                     ",0,0\r\n");
    EXPECT_FALSE(restored);
    EXPECT_TRUE(WaitWithEvents([&] { return area.contains(window.frameGeometry()); }));
}

TEST_F(WindowPlacementTest, OtherResolutionFallsBackToThePlainKeys) {
    ShowWithSettings("[Main]\r\nNormPos(1x1)=100,120,1300,900\r\nNormPos=120,150,754,501\r\n");
    EXPECT_EQ(window.pos(), QPoint(120, 150));
}

TEST_F(WindowPlacementTest, OtherPixelsPerInchKeepsPositionButNotState) {
    ShowWithSettings("[Main]\r\nShowCmd=3\r\nPixelsPerInch=" + std::to_string(Ppi() + 24) +
                     "\r\nNormPos=120,150,754,501\r\n");
    EXPECT_FALSE(restored);
    EXPECT_NE(window.pos(), QPoint(120, 150));
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(WindowPlacementTest, ShowCmdTwoStartsMinimised) {
    ShowWithSettings("[Main]\r\nShowCmd=2\r\n");
    QApplication::processEvents();
    EXPECT_TRUE(window.isMinimized());
}

TEST_F(WindowPlacementTest, MovedThenMaximisedOrMinimisedComesBackWhereItsFrameWas) {
    // The offscreen platform frames windows with 2 pixels: the inner
    // position differs from the frame's.
    for (const bool maximise : {true, false}) {
        SCOPED_TRACE(maximise ? "maximised" : "minimised");
        WriteFile(path, "[Main]\r\nNormPos=100,80,0,0\r\n");
        IniFile ini(path.string());
        WindowPlacement placement(window, ini);
        placement.Restore();
        window.show();
        ASSERT_TRUE(WaitWithEvents([&] { return placement.FrameSettled(); }));
        window.move(260, 170);
        ASSERT_TRUE(WaitWithEvents([&] { return window.frameGeometry().topLeft() == QPoint(260, 170); }));
        ASSERT_NE(window.geometry().topLeft(), QPoint(260, 170));
        if (maximise)
            window.showMaximized();
        else
            window.showMinimized();
        QApplication::processEvents();
        placement.Save();
        EXPECT_EQ(ini.ReadString("Main\\NormPos", "").rfind("260,170,", 0), 0u) << ini.ReadString("Main\\NormPos", "");
        window.showNormal();
        window.hide();
    }
}

TEST_F(WindowPlacementTest, NegativeFormVersionSkipsEverything) {
    ShowWithSettings("[Main]\r\nFormVersion=-1\r\nShowCmd=2\r\nNormPos=250,150,884,501\r\n");
    QApplication::processEvents();
    EXPECT_FALSE(restored);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.pos(), QPoint(40, 30));
    IniFile ini(path.string());
    WindowPlacement(window, ini).Save();
    EXPECT_EQ(ini.ReadString("Main\\FormVersion", ""), "0");
}

TEST_F(WindowPlacementTest, MalformedNumbers) {
    // A first number that is not one keeps the left edge; the top still moves.
    ShowWithSettings("[Main]\r\nNormPos=abc,150,0,0\r\n");
    EXPECT_EQ(window.pos(), QPoint(40, 150));

    // A malformed integer key stops the restore after what it already applied.
    window.hide();
    const std::string error = ShowWithSettings("[Main]\r\nNormPos=77,66\r\nShowCmd=abc\r\n");
    EXPECT_EQ(error, "'abc' ist kein g\xFCltiger Integerwert");
    EXPECT_EQ(window.pos(), QPoint(77, 66));
}

TEST_F(WindowPlacementTest, PixelsPerInchIsOnlyReadWithAPosition) {
    // Without a stored position a malformed PixelsPerInch is never looked at,
    // so the show state still comes back.
    EXPECT_EQ(ShowWithSettings("[Main]\r\nPixelsPerInch=abc\r\nShowCmd=2\r\n"), "");
    QApplication::processEvents();
    EXPECT_TRUE(window.isMinimized());

    // With one it is, and the restore stops there.
    window.showNormal();
    window.hide();
    EXPECT_EQ(ShowWithSettings("[Main]\r\nNormPos=77,66\r\nPixelsPerInch=abc\r\nShowCmd=2\r\n"),
              "'abc' ist kein g\xFCltiger Integerwert");
    QApplication::processEvents();
    EXPECT_FALSE(window.isMinimized());
}

TEST(WindowPlacementNumbers, ParsePosition) {
    using N = std::array<std::optional<int>, 4>;
    EXPECT_EQ(WindowPlacement::ParsePosition("1,2,3,4"), (N{1, 2, 3, 4}));
    EXPECT_EQ(WindowPlacement::ParsePosition("1 2  3,4 "), (N{1, 2, 3, 4}));
    EXPECT_EQ(WindowPlacement::ParsePosition(",-2,x"), (N{std::nullopt, -2, std::nullopt, std::nullopt}));
    EXPECT_EQ(WindowPlacement::ParsePosition("5"), (N{5, std::nullopt, std::nullopt, std::nullopt}));
}

TEST(WindowPlacementScreens, AStoredPlaceCountsOnlyWithTheWholeFrameOnOneScreen) {
    // Two screens side by side in their own pixels, the left one at 150 %
    // (its 1600 x 1000 pixels are 1067 x 667 for Qt) with a task bar at its
    // bottom, the right one at 100 % and lower; a frame of 640 x 400 in
    // Qt's pixels: 960 x 600 of the left screen's, 640 x 400 of the right's.
    using S = ScreenPixels;
    const QList<S> screens = {S{QRect(0, 0, 1600, 1000), QRect(0, 0, 1600, 960), 1.5},
                              S{QRect(1600, 200, 1280, 1024), QRect(1600, 200, 1280, 1024), 1.0}};
    struct Row {
        const char* Name;
        QPoint Stored;
        std::optional<QPoint> Expected;
    };
    const Row rows[] = {
        {"on the scaled screen", {300, 150}, QPoint{200, 100}},
        {"on its odd pixel", {301, 151}, QPoint{201, 101}},
        {"in its bottom right corner", {638, 360}, QPoint{425, 240}},
        {"over the task bar", {638, 362}, std::nullopt},
        {"above the screen", {300, -30}, std::nullopt},
        {"partly off to the left", {-20, 150}, std::nullopt},
        {"on the second screen", {1700, 300}, QPoint{1700, 300}},
        {"across both screens", {1500, 300}, std::nullopt},
        {"above the second, beside the first", {1700, 100}, std::nullopt},
        {"right of every screen", {3000, 300}, std::nullopt},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(PlaceOnScreens(row.Stored, QSize(640, 400), screens), row.Expected) << row.Name;
        // What is placed is on one screen, within the pixel it was saved
        // at (at 150 % Qt reaches two pixels of every three).
        if (!row.Expected) continue;
        EXPECT_TRUE(OnOneScreen(QRect(*row.Expected, QSize(640, 400)), screens)) << row.Name;
        const S& home = row.Stored.x() < 1600 ? screens[0] : screens[1];
        const QPoint back = home.ToPixels(*row.Expected) - row.Stored;
        EXPECT_TRUE(std::abs(back.x()) <= 1 && std::abs(back.y()) <= 1) << row.Name;
    }
}
