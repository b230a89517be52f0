#pragma once
// Screens as the settings file counts them: in their own pixels, as a
// program that knows the screen's scale sees them, while Qt lays windows
// out in device-independent pixels (on a 1600 x 1000 screen at 150 % it
// sees 1067 x 667).

#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QScreen;
class QWidget;

// A screen's rectangle and work area in its own pixels, and how many of
// them make one of Qt's. Qt places a screen's top left corner at the same
// point in both measures and scales from there.
struct ScreenPixels {
    QRect Geometry;
    QRect Area;
    qreal Ratio = 1;

    static ScreenPixels Of(const QScreen& screen);
    static ScreenPixels Primary();
    static QList<ScreenPixels> All();

    QPoint ToPixels(QPoint logical) const;
    QPoint FromPixels(QPoint pixels) const;
    QSize ToPixels(QSize logical) const;
};

// Where (in Qt's coordinates) a frame of the logical size stands when its
// top left corner is at the stored point in screen pixels: only on a screen
// whose work area then holds the whole frame, else nowhere.
std::optional<QPoint> PlaceOnScreens(QPoint stored, QSize logicalSize, const QList<ScreenPixels>& screens);
// Whether a frame (in Qt's coordinates) lies whole in one work area.
bool OnOneScreen(const QRect& logicalFrame, const QList<ScreenPixels>& screens);

// The window's rectangle as the system's placement record counts it, in
// screen pixels, where that differs from the frame Qt reports (Windows
// counts invisible resize borders in); nullopt elsewhere. On Windows it
// creates the window if need be, so that the borders are known before it
// is placed. (WindowPlacementWin32.cpp, WindowPlacementPosix.cpp)
std::optional<QRect> WindowRectangle(QWidget& window);
// Puts the window's rectangle's top left corner on that screen pixel, where
// Qt's device-independent pixels would round it to a neighbour (at 125 %
// they reach four pixels of five); false where the platform leaves placing
// to Qt.
bool MoveWindowRectangleTo(QWidget& window, QPoint topLeft);
