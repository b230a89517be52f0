// The placement on a screen scaled to 150 % (the offscreen platform told so
// by its configuration file): its 1600 x 1000 pixels are 1067 x 667 of Qt's,
// and the settings file counts in the former.

#include "app/WindowPlacement.h"

#include "QtWait.h"
#include "TestFiles.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <gtest/gtest.h>

#include <utility>

TEST(WindowPlacementScaled, TheFileHoldsTheScreensOwnPixelsAndAnotherScaleCentres) {
    ASSERT_EQ(QGuiApplication::primaryScreen()->devicePixelRatio(), 1.5) << "run on the screen at 150 %";
    const TempFolder folder;
    const std::string path = folder / "KNSimTool.ini";
    auto run = [&](const std::function<void(QWidget&)>& whileShown) {
        QWidget window;
        window.setFixedSize(634, 351);
        IniFile ini(path);
        WindowPlacement placement(window, ini);
        placement.Restore();
        window.show();
        EXPECT_TRUE(WaitWithEvents([&] { return placement.FrameSettled(); }));
        whileShown(window);
        placement.Save();
        return window.frameGeometry();
    };

    // Moved to 200,100 of Qt's: 300,150 of the screen's.
    const QRect moved = run([](QWidget& window) {
        window.move(200, 100);
        EXPECT_TRUE(WaitWithEvents([&] { return window.frameGeometry().topLeft() == QPoint(200, 100); }));
    });
    IniFile ini(path);
    EXPECT_EQ(ini.ReadString("Main\\PixelsPerInch", ""), "144");
    const std::string norm = "300,150," + std::to_string(300 + qRound(moved.width() * 1.5)) + "," +
                             std::to_string(150 + qRound(moved.height() * 1.5));
    EXPECT_EQ(ini.ReadString("Main\\NormPos(1600x1000)", ""), norm) << ReadFile(path);
    EXPECT_EQ(ini.ReadString("Main\\NormPos", ""), norm);

    // The same scale: the same place.
    EXPECT_EQ(run([](QWidget&) {}).topLeft(), QPoint(200, 100));

    // Saved at 100 %, or at 125 % with the same numbers: centred. So is a
    // hand-edited place at the end of the numbers' range at this scale,
    // whose pixels would overflow in the conversion to Qt's and back (for
    // the sanitizer build to see).
    const std::pair<const char*, std::string> rows[] = {{"96", norm}, {"120", norm}, {"144", "2147483647,2147483647,0,0"}};
    for (const auto& [ppi, place] : rows) {
        WriteFile(path, std::string("[Main]\r\nPixelsPerInch=") + ppi + "\r\nNormPos(1600x1000)=" + place + "\r\n");
        const QRect centred = run([](QWidget&) {});
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        EXPECT_LE((centred.center() - area.center()).manhattanLength(), 2) << ppi << " " << place;
    }
}
