#include "WindowPlacementScreens.h"

#include <QGuiApplication>
#include <QScreen>
#include <qpa/qplatformscreen.h>

#include <algorithm>

// Qt tells a screen's size and work area in the screen's own pixels only
// through its platform screen: the public rectangles are scaled and rounded
// (1600 pixels at 150 % are 1067, and 1067 scale back to 1601).
ScreenPixels ScreenPixels::Of(const QScreen& screen) {
    ScreenPixels pixels{screen.geometry(), screen.availableGeometry(), screen.devicePixelRatio()};
    if (const QPlatformScreen* platform = screen.handle()) {
        pixels.Geometry = platform->geometry();
        pixels.Area = platform->availableGeometry();
        // What the platform scales itself (none on Windows and X11) is
        // already in its rectangles.
        pixels.Ratio /= platform->devicePixelRatio();
    }
    return pixels;
}

ScreenPixels ScreenPixels::Primary() {
    if (const QScreen* screen = QGuiApplication::primaryScreen()) return Of(*screen);
    return {};
}

QList<ScreenPixels> ScreenPixels::All() {
    QList<ScreenPixels> screens;
    for (const QScreen* screen : QGuiApplication::screens()) screens << Of(*screen);
    return screens;
}

// Qt scales from a screen's top left corner, which it keeps unscaled, and
// rounds to whole pixels both ways; doing the same here lets a position
// saved and restored at one scale come back to the very pixel.
QPoint ScreenPixels::ToPixels(QPoint logical) const {
    const QPoint origin = Geometry.topLeft();
    return (logical - origin) * Ratio + origin;
}

QPoint ScreenPixels::FromPixels(QPoint pixels) const {
    const QPoint origin = Geometry.topLeft();
    return (pixels - origin) * (1 / Ratio) + origin;
}

QSize ScreenPixels::ToPixels(QSize logical) const { return logical * Ratio; }

std::optional<QPoint> PlaceOnScreens(QPoint stored, QSize logicalSize, const QList<ScreenPixels>& screens) {
    for (const ScreenPixels& screen : screens) {
        // Checked where the frame will really stand: at 150 % Qt cannot
        // reach every pixel, and rounds to the next one.
        const QPoint logical = screen.FromPixels(stored);
        if (!screen.Area.isEmpty() &&
            screen.Area.contains(QRect(screen.ToPixels(logical), screen.ToPixels(logicalSize))))
            return logical;
    }
    return std::nullopt;
}

bool OnOneScreen(const QRect& logicalFrame, const QList<ScreenPixels>& screens) {
    // Qt's coordinates of two screens never overlap, so a frame converted
    // with a screen it is not on lands outside that screen's work area.
    return std::any_of(screens.begin(), screens.end(), [&](const ScreenPixels& screen) {
        return !screen.Area.isEmpty() && screen.Area.contains(QRect(screen.ToPixels(logicalFrame.topLeft()),
                                                                    screen.ToPixels(logicalFrame.size())));
    });
}
