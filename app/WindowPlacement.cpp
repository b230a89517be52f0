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

QList<QRect> ScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens()) areas << screen->availableGeometry();
    return areas;
}

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

QPoint WindowPlacement::ReachablePosition(const QRect& outer, int titleBarHeight, const QList<QRect>& areas) {
    const int grip = std::min(TitleBarGrip, outer.width());
    const int bar = std::max(1, titleBarHeight);
    std::optional<QPoint> best;
    long long bestDistance = 0;
    for (const QRect& area : areas) {
        if (area.isEmpty()) continue;
        // The whole height of the title bar and a grip's width of it inside the area.
        const int minLeft = area.left() + grip - outer.width();
        const int maxLeft = std::max(minLeft, area.right() + 1 - grip);
        const int maxTop = std::max(area.top(), area.bottom() + 1 - bar);
        const QPoint candidate(std::clamp(outer.left(), minLeft, maxLeft), std::clamp(outer.top(), area.top(), maxTop));
        if (candidate == outer.topLeft()) return candidate;
        const long long dx = candidate.x() - outer.left();
        const long long dy = candidate.y() - outer.top();
        const long long distance = dx * dx + dy * dy;
        if (!best || distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best.value_or(outer.topLeft());
}

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

    const QRect outer = OuterNormalRect();

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

QRect WindowPlacement::OuterNormalRect() const {
    const Qt::WindowStates state = window_.windowState();
    const QRect frame = window_.frameGeometry();
    const QRect client = window_.geometry();
    if (!(state & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))) {
        // Shown, but not yet framed by the window manager: it still stands
        // where it was put, and its rectangle without the frame would be the
        // wrong one.
        if (positionRestored_ && !frameSettled_ && normalTopLeft_) return QRect(*normalTopLeft_, frame.size());
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
    if (positionRestored_ && normalTopLeft_) {
        // Now that the title bar's real height is known, make sure it can be
        // grabbed, and put the frame where it was asked to be in case the
        // window manager placed it otherwise.
        const QRect outer(storedTopLeft_.value_or(*normalTopLeft_), window_.frameGeometry().size());
        const int titleBar = framed ? handle->frameMargins().top() : NominalTitleBarHeight;
        const QPoint target = ReachablePosition(outer, titleBar, ScreenAreas());
        if (window_.frameGeometry().topLeft() != target) window_.move(target);
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
            QMargins margins = window_.windowHandle() ? window_.windowHandle()->frameMargins() : QMargins();
            const int titleBar = margins.top() > 0 ? margins.top() : NominalTitleBarHeight;
            storedTopLeft_ = QPoint(left, top);
            MoveFrameTo(ReachablePosition(QRect(QPoint(left, top), size), titleBar, ScreenAreas()));
            positionRestored_ = true;
            WatchForFrame();
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
