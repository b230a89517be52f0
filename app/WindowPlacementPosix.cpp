#include "WindowPlacementScreens.h"

// X11 and the offscreen platform count a window's rectangle as Qt reports
// its frame.
std::optional<QRect> WindowRectangle(QWidget&) { return std::nullopt; }

bool MoveWindowRectangleTo(QWidget&, QPoint) { return false; }
