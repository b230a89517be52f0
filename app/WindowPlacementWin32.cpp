#include "WindowPlacementScreens.h"

#include <QWidget>

#include <windows.h>

// Since Windows 10 the resize borders of a window are invisible, and Qt
// leaves them out of the frame it reports, but the window's rectangle (and
// so the placement record) still counts them: at 100 % a few pixels left,
// right and below the frame that is seen. The program is aware of the
// screen's scale (its manifest), so the rectangle is in the screen's pixels.
std::optional<QRect> WindowRectangle(QWidget& window) {
    RECT outer{};
    if (!GetWindowRect(reinterpret_cast<HWND>(window.winId()), &outer)) return std::nullopt;
    return QRect(QPoint(outer.left, outer.top), QPoint(outer.right - 1, outer.bottom - 1));
}

bool MoveWindowRectangleTo(QWidget& window, QPoint topLeft) {
    // Qt hears of the move as of one by the user, and keeps its own
    // coordinates in step.
    return SetWindowPos(reinterpret_cast<HWND>(window.winId()), nullptr, topLeft.x(), topLeft.y(), 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE) != 0;
}
