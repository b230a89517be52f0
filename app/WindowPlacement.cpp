#include "WindowPlacement.h"

#include "base/Convert.h"

#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cstdio>

namespace {

// Show states as the placement record knows them.
enum ShowCmd : int { ShowNormal = 1, ShowMinimized = 2, ShowMaximized = 3 };

QScreen* PrimaryScreen() { return QGuiApplication::primaryScreen(); }

std::string FourNumbers(int a, int b, int c, int d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%d,%d,%d,%d", a, b, c, d);
    return buf;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A stored position on a screen that is no longer there (a second monitor
// unplugged, a lower resolution) would put the window out of reach. As the
// platform does when it applies a stored placement, a window that would lie
// wholly off every screen is brought onto the primary one.
QPoint OnSomeScreen(const QRect& frame) {
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(frame)) return frame.topLeft();
    const QScreen* primary = PrimaryScreen();
    if (!primary) return frame.topLeft();
    const QRect area = primary->availableGeometry();
    const int x = std::clamp(frame.left(), area.left(), std::max(area.left(), area.right() + 1 - frame.width()));
    const int y = std::clamp(frame.top(), area.top(), std::max(area.top(), area.bottom() + 1 - frame.height()));
    return {x, y};
}

}  // namespace

WindowPlacement::WindowPlacement(QWidget& window, IniFile& ini, std::string path)
    : window_(window), ini_(ini), path_(std::move(path)) {}

std::string WindowPlacement::Key(std::string_view name) const {
    // The storage drops empty path parts, so a trailing "\" in path_ is harmless.
    return path_ + "\\" + std::string(name);
}

std::string WindowPlacement::ScreenSuffix() const {
    const QSize size = PrimaryScreen() ? PrimaryScreen()->size() : QSize();
    return "(" + std::to_string(size.width()) + "x" + std::to_string(size.height()) + ")";
}

int WindowPlacement::CurrentPixelsPerInch() const {
    return PrimaryScreen() ? qRound(PrimaryScreen()->logicalDotsPerInch()) : 96;
}

std::array<std::optional<int>, 4> WindowPlacement::ParsePosition(std::string_view text) {
    std::array<std::optional<int>, 4> numbers{};
    std::size_t index = 0;
    std::size_t i = 0;
    while (index < numbers.size() && i < text.size()) {
        while (i < text.size() && IsBlank(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && text[i] != ',' && !IsBlank(text[i])) ++i;
        const std::string_view token = text.substr(start, i - start);
        while (i < text.size() && IsBlank(text[i])) ++i;
        const bool comma = i < text.size() && text[i] == ',';
        if (comma) ++i;
        if (token.empty() && !comma && i >= text.size()) break;  // trailing blanks
        numbers[index++] = TryStrToInt(token);
    }
    return numbers;
}

void WindowPlacement::Save() {
    if (saved_) return;
    saved_ = true;
    ini_.WriteInteger(Key("FormVersion"), FormVersion);

    const Qt::WindowStates state = window_.windowState();
    int showCmd = ShowNormal;
    if (state & Qt::WindowMinimized)
        showCmd = ShowMinimized;
    else if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        showCmd = ShowMaximized;

    // The normal rectangle in screen pixels, frame included; Qt keeps the
    // restored geometry of a maximised window apart.
    QRect normal = (state & (Qt::WindowMaximized | Qt::WindowFullScreen)) ? window_.normalGeometry()
                                                                           : window_.geometry();
    if (normal.isEmpty()) normal = window_.geometry();
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    const QMargins margins(client.left() - frame.left(), client.top() - frame.top(),
                           frame.right() - client.right(), frame.bottom() - client.bottom());
    const QRect outer = normal.marginsAdded(margins);

    ini_.WriteInteger(Key("ShowCmd"), showCmd);
    // Qt has no placement flags to keep.
    ini_.WriteInteger(Key("Flags"), 0);
    ini_.WriteInteger(Key("PixelsPerInch"), CurrentPixelsPerInch());
    // Qt does not know where a minimised or maximised window would stand.
    const std::string minMax = FourNumbers(-1, -1, -1, -1);
    ini_.WriteString(Key("MinMaxPos" + ScreenSuffix()), minMax);
    ini_.WriteString(Key("MinMaxPos"), minMax);
    const std::string norm = FourNumbers(outer.left(), outer.top(), outer.left() + outer.width(),
                                         outer.top() + outer.height());
    ini_.WriteString(Key("NormPos" + ScreenSuffix()), norm);
    ini_.WriteString(Key("NormPos"), norm);
}

std::string WindowPlacement::PositionText(std::string_view name) {
    const std::string forScreen = Key(std::string(name) + ScreenSuffix());
    if (ini_.ValueExists(forScreen)) return ini_.ReadString(forScreen, "");
    return ini_.ReadString(Key(name), "");
}

void WindowPlacement::Restore() {
    if (ini_.ReadInteger(Key("FormVersion"), FormVersion) < FormVersion) return;
    (void)ini_.ReadInteger(Key("Flags"), 0);

    bool found = false;
    // Minimised and maximised positions are read as the file holds them, but
    // Qt has no place to put them.
    if (!PositionText("MinMaxPos").empty()) found = true;

    const QPoint current = window_.pos();
    int left = current.x();
    int top = current.y();
    // The stored right and bottom edges do not matter: the window is of
    // fixed size. A missing or malformed number keeps that edge where it is.
    const std::string normText = PositionText("NormPos");
    if (!normText.empty()) {
        found = true;
        const auto n = ParsePosition(normText);
        left = n[0].value_or(current.x());
        top = n[1].value_or(current.y());
    }

    // PixelsPerInch only matters with a position to restore; without one a
    // malformed value there must not stop the show state from coming back.
    if (found && ini_.ReadInteger(Key("PixelsPerInch"), CurrentPixelsPerInch()) == CurrentPixelsPerInch()) {
        // A fixed-size window keeps its designed size at the stored position.
        const QSize size = window_.frameGeometry().size();
        const int right = left + size.width();
        if (right > left) {
            window_.move(OnSomeScreen(QRect(QPoint(left, top), size)));
            positionRestored_ = true;
        }
    }

    const int showCmd = ini_.ReadInteger(Key("ShowCmd"), 0);
    Qt::WindowStates state = window_.windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized);
    switch (showCmd) {
    case 2: case 6: case 7: {
        // Starts normal and is minimised once it is on the screen, as a
        // command posted to the application would do.
        window_.setWindowState(state);
        QPointer<QWidget> target(&window_);
        QTimer::singleShot(0, &window_, [target] {
            if (target) target->showMinimized();
        });
        break;
    }
    case 3:
        window_.setWindowState(state | Qt::WindowMaximized);
        break;
    default:
        window_.setWindowState(state);
        break;
    }
}
