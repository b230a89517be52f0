#include "app/WindowPlacement.h"

#include "base/Failure.h"
#include "QtWait.h"
#include "TestFiles.h"

#include <QApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <filesystem>

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
        IniFile ini(path.string());
        WindowPlacement placement(window, ini);
        std::string error;
        try {
            placement.Restore();
        } catch (const EConvertError& e) {
            error = e.Message();
        }
        restored = placement.PositionRestored();
        window.show();
        QApplication::processEvents();
        return error;
    }

    TempFolder folder;
    fs::path dir = folder.Path();
    fs::path path;
    QWidget window;
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
                     "=300,200,1300,900\r\nNormPos=10,10,20,20\r\n");
    EXPECT_TRUE(restored);
    EXPECT_EQ(window.pos(), QPoint(300, 200));
    EXPECT_EQ(window.size(), QSize(634, 351));
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(WindowPlacementTest, PositionOffEveryScreenComesBackOntoThePrimaryOne) {
    // Saved on a larger or a second screen that is gone now.
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    ShowWithSettings("[Main]\r\nNormPos=" + std::to_string(area.right() + 500) + "," +
                     std::to_string(area.bottom() + 400) + ",0,0\r\n");
    EXPECT_TRUE(restored);
    // Its top left corner (where the title bar is grabbed) is on the screen.
    EXPECT_TRUE(area.contains(window.frameGeometry().topLeft())) << window.x() << "," << window.y();

    // A window still partly on a screen stays where it was put.
    window.hide();
    const QPoint partly(area.right() - 100, area.top() + 20);
    ShowWithSettings("[Main]\r\nNormPos=" + std::to_string(partly.x()) + "," + std::to_string(partly.y()) +
                     ",0,0\r\n");
    EXPECT_EQ(window.pos(), partly);
}

TEST_F(WindowPlacementTest, OtherResolutionFallsBackToThePlainKeys) {
    ShowWithSettings("[Main]\r\nNormPos(1x1)=300,200,1300,900\r\nNormPos=250,150,884,501\r\n");
    EXPECT_EQ(window.pos(), QPoint(250, 150));
}

TEST_F(WindowPlacementTest, OtherPixelsPerInchKeepsPositionButNotState) {
    ShowWithSettings("[Main]\r\nShowCmd=3\r\nPixelsPerInch=" + std::to_string(Ppi() + 24) +
                     "\r\nNormPos=250,150,884,501\r\n");
    EXPECT_FALSE(restored);
    EXPECT_NE(window.pos(), QPoint(250, 150));
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
    ShowWithSettings("[Main]\r\nNormPos=abc,250,0,0\r\n");
    EXPECT_EQ(window.pos(), QPoint(40, 250));

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

TEST(WindowPlacementReach, TitleBarIsMovedJustFarEnoughToBeGrabbed) {
    // Two screens side by side, the right one lower; a 640 x 400 window with
    // a 20-pixel title bar, of which 100 pixels must lie on a screen.
    const QList<QRect> screens = {QRect(0, 0, 1024, 768), QRect(1024, 200, 800, 600)};
    struct Row {
        const char* Name;
        QPoint Stored;
        QPoint Expected;
    };
    const Row rows[] = {
        {"on the first screen", {100, 50}, {100, 50}},
        {"mostly off to the left, still grabbable", {-500, 50}, {-500, 50}},
        {"above the first screen", {100, -30}, {100, 0}},
        {"off to the left", {-2000, 300}, {100 - 640, 300}},
        {"below every screen", {300, 900}, {300, 768 - 20}},
        {"on the second screen", {1500, 500}, {1500, 500}},
        {"above the second, beside the first", {1500, 100}, {1500, 200}},
        {"right of every screen", {2500, 300}, {1824 - 100, 300}},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(WindowPlacement::ReachablePosition(QRect(row.Stored, QSize(640, 400)), 20, screens), row.Expected)
            << row.Name;
    }
}
