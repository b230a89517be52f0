#include "WindowPlacement.h"

#include "base/Convert.h"

#include <QEvent>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

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

// How often and how long to look for the window manager's frame after the
// window was shown; a display without a window manager never frames it.
constexpr int FrameCheckInterval = 25;   // ms
constexpr int FrameChecks = 120;         // 3 s

// Tells the placement whenever the window moves or changes its state.
class MoveTracker : public QObject {
public:
    explicit MoveTracker(std::function<void()> moved) : moved_(std::move(moved)) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Move || event->type() == QEvent::WindowStateChange) moved_();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> moved_;
};

}  // namespace

WindowPlacement::WindowPlacement(QWidget& window, IniFile& ini, std::string path)
    : window_(window), ini_(ini), path_(std::move(path)),
      moveTracker_(std::make_unique<MoveTracker>([this] { NoteNormalPosition(); })) {
    window_.installEventFilter(moveTracker_.get());
}

WindowPlacement::~WindowPlacement() = default;

std::string WindowPlacement::Key(std::string_view name) const {
    // The storage drops empty path parts, so a trailing "\" in path_ is harmless.
    return path_ + "\\" + std::string(name);
}

std::string WindowPlacement::ScreenSuffix() const {
    const QSize size = ScreenPixels::Primary().Geometry.size();
    return "(" + std::to_string(size.width()) + "x" + std::to_string(size.height()) + ")";
}

int WindowPlacement::CurrentPixelsPerInch() const {
    // With Qt's scaling on, its logical resolution stays at the platform's
    // base (96); the screen's scale is in the pixel ratio: 144 at 150 %.
    const QScreen* screen = PrimaryScreen();
    return screen ? qRound(screen->logicalDotsPerInch() * screen->devicePixelRatio()) : 96;
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

    const QRect outer = OuterNormalRect();
    const QScreen* screen = QGuiApplication::screenAt(outer.center());
    if (!screen) screen = window_.screen();
    const ScreenPixels pixels = screen ? ScreenPixels::Of(*screen) : ScreenPixels::Primary();
    const QRect record =
        QRect(pixels.ToPixels(outer.topLeft()), pixels.ToPixels(outer.size())).marginsAdded(hiddenBorders_);
    const QPoint topLeft = record.topLeft();
    const QSize size = record.size();

    ini_.WriteInteger(Key("ShowCmd"), showCmd);
    // Qt has no placement flags to keep.
    ini_.WriteInteger(Key("Flags"), 0);
    ini_.WriteInteger(Key("PixelsPerInch"), CurrentPixelsPerInch());
    // Qt does not know where a minimised or maximised window would stand.
    const std::string minMax = FourNumbers(-1, -1, -1, -1);
    ini_.WriteString(Key("MinMaxPos" + ScreenSuffix()), minMax);
    ini_.WriteString(Key("MinMaxPos"), minMax);
    const std::string norm =
        FourNumbers(topLeft.x(), topLeft.y(), topLeft.x() + size.width(), topLeft.y() + size.height());
    ini_.WriteString(Key("NormPos" + ScreenSuffix()), norm);
    ini_.WriteString(Key("NormPos"), norm);
}

QRect WindowPlacement::OuterNormalRect() const {
    const Qt::WindowStates state = window_.windowState();
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    if (!(state & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
        // Shown, but not yet framed by the window manager: it still stands
        // where it was put, and its rectangle without the frame would be the
        // wrong one.
        if (!frameSettled_ && normalTopLeft_) return QRect(*normalTopLeft_, frame.size());
        return frame;
    }
    const QMargins current(client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
                           frame.bottom() - client.bottom());
    // Qt keeps the restored client rectangle of a maximised window apart; a
    // maximised frame may be thinner than the normal one.
    QRect normal = window_.normalGeometry();
    if (normal.isEmpty()) normal = client;
    QRect outer = normal.marginsAdded(normalMargins_.value_or(current));
    if (normalTopLeft_) outer.moveTopLeft(*normalTopLeft_);
    return outer;
}


void WindowPlacement::NoteNormalPosition() {
    // Until the frame is known the window manager may still be placing the
    // window; what was restored counts meanwhile.
    if (!frameSettled_ || !window_.isVisible()) return;
    if (window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return;
    normalTopLeft_ = window_.frameGeometry().topLeft();
    if (QWindow* handle = window_.windowHandle(); handle && !handle->frameMargins().isNull())
        normalMargins_ = handle->frameMargins();
    hiddenBorders_ = HiddenBorders();
}

void WindowPlacement::MoveFrameTo(QPoint outerTopLeft) {
    normalTopLeft_ = outerTopLeft;
    // Before the window exists, a move places its frame; the window manager
    // is then told so (north-west gravity) and frames it there at once.
    // Afterwards Qt can only place the frame once it knows how thick it is;
    // until then the position goes to the platform as a frame position.
    if (!window_.testAttribute(Qt::WA_WState_Created) || !window_.windowHandle() ||
        !window_.windowHandle()->frameMargins().isNull()) {
        window_.move(outerTopLeft);
    } else {
        window_.windowHandle()->setFramePosition(outerTopLeft);
    }
}

void WindowPlacement::Centre(QSize frameSize) {
    const ScreenPixels screen = ScreenPixels::Primary();
    const QSize size = screen.ToPixels(frameSize);
    const QRect& area = screen.Area;
    MoveFrameTo(screen.FromPixels(area.topLeft() +
                                  QPoint((area.width() - size.width()) / 2, (area.height() - size.height()) / 2)));
}

QMargins WindowPlacement::HiddenBorders() {
    const std::optional<QRect> outer = WindowRectangle(window_);
    const QScreen* screen = window_.screen() ? window_.screen() : PrimaryScreen();
    if (!outer || !screen) return {};
    const ScreenPixels pixels = ScreenPixels::Of(*screen);
    const QRect frame = window_.frameGeometry();
    const QRect seen(pixels.ToPixels(frame.topLeft()), pixels.ToPixels(frame.size()));
    return QMargins(seen.left() - outer->left(), seen.top() - outer->top(), outer->right() - seen.right(),
                    outer->bottom() - seen.bottom());
}

void WindowPlacement::WatchForFrame() {
    if (!frameWatch_) {
        frameWatch_ = std::make_unique<QTimer>();
        frameWatch_->setInterval(FrameCheckInterval);
        QObject::connect(frameWatch_.get(), &QTimer::timeout, [this] { CheckFrame(++frameChecks_ >= FrameChecks); });
    }
    frameChecks_ = 0;
    frameSettled_ = false;
    frameWatch_->start();
}

void WindowPlacement::CheckFrame(bool lastTry) {
    QWindow* handle = window_.windowHandle();
    const bool framed = handle && window_.isVisible() && !handle->frameMargins().isNull();
    if (!framed && !lastTry) return;
    frameWatch_->stop();
    frameSettled_ = true;
    if (!handle || !window_.isVisible()) return;
    if (window_.windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized)) return;
    if (framed) normalMargins_ = handle->frameMargins();
    const QSize frame = window_.frameGeometry().size();
    if (positionRestored_ && storedTopLeft_) {
        // Now that the frame is known, put it where it was asked to be in
        // case the window manager placed it otherwise, if all of it is on a
        // screen there.
        if (OnOneScreen(QRect(*storedTopLeft_, frame), ScreenPixels::All())) {
            MoveFrameTo(*storedTopLeft_);
            if (storedRecord_) MoveWindowRectangleTo(window_, *storedRecord_);
        } else {
            Centre(frame);
        }
    } else if (normalTopLeft_ && window_.frameGeometry().topLeft() == *normalTopLeft_) {
        // Centred by a guessed frame and not moved since: centred by the real one.
        Centre(frame);
    }
    NoteNormalPosition();
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

    // The file counts in the pixels of the screen the window is on, and
    // holds the system's rectangle; the frame seen starts inside it.
    hiddenBorders_ = HiddenBorders();
    const QPoint inside(hiddenBorders_.left(), hiddenBorders_.top());
    const QScreen* home = window_.screen() ? window_.screen() : PrimaryScreen();
    const QPoint current = (home ? ScreenPixels::Of(*home).ToPixels(window_.pos()) : window_.pos()) - inside;
    int left = current.x();
    int top = current.y();
    // The stored right and bottom edges do not matter: the window is of
    // fixed size. A missing or malformed number keeps that edge where it is.
    const std::string normText = PositionText("NormPos");
    if (!normText.empty()) {
        found = true;
        const auto n = ParsePosition(normText);
        // A hand-edited number far beyond any screen stays beyond it, but
        // within what the pixel arithmetic can carry without overflowing.
        constexpr int Far = 1 << 24;
        left = std::clamp(n[0].value_or(current.x()), -Far, Far);
        top = std::clamp(n[1].value_or(current.y()), -Far, Far);
    }

    // Until the window is framed its title bar is a guess.
    QSize frame = window_.frameGeometry().size();
    if (!window_.windowHandle() || window_.windowHandle()->frameMargins().isNull())
        frame += QSize(0, NominalTitleBarHeight);
    // PixelsPerInch only matters with a position to restore; without one a
    // malformed value there must not stop the show state from coming back.
    if (found && ini_.ReadInteger(Key("PixelsPerInch"), CurrentPixelsPerInch()) == CurrentPixelsPerInch()) {
        // A fixed-size window keeps its designed size at the stored
        // position, if all of it is then on a screen.
        storedTopLeft_ = PlaceOnScreens(QPoint(left, top) + inside, frame, ScreenPixels::All());
        if (storedTopLeft_) {
            MoveFrameTo(*storedTopLeft_);
            storedRecord_ = QPoint(left, top);
            MoveWindowRectangleTo(window_, *storedRecord_);
            positionRestored_ = true;
        }
    }
    // Saved at another scale, on a screen that has gone, or not at all.
    if (!positionRestored_) Centre(frame);
    WatchForFrame();

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
