#pragma once
// Saves a top-level window's placement into the settings file when it closes
// and restores it when it is first shown. The window is of fixed size, so
// only its position and its show state come back.
//
// The position saved and restored is the window's outer rectangle, frame
// included, so that a window closed and started again stands exactly where
// it was left, however thick the window manager's frame is.
//
// The window calls Save() when it agrees to close (before writing its own
// settings) and again from its destructor; only the first call writes.
// Restore() runs once, best before the window is first created (so the
// position is handed to the window manager as a frame position); when a
// stored integer is malformed it raises EConvertError after applying what it
// had already applied, so the caller shows the error and carries on.

#include "storage/IniFile.h"

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QRect>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class QObject;
class QTimer;
class QWidget;

class WindowPlacement {
public:
    WindowPlacement(QWidget& window, IniFile& ini, std::string path = "Main\\");
    ~WindowPlacement();

    void Save();
    void Restore();

    // True once Restore has moved the window to its stored position; the
    // window then no longer centres itself on the desktop.
    bool PositionRestored() const { return positionRestored_; }
    bool Saved() const { return saved_; }

    static constexpr int FormVersion = 0;

    // "1,2,3,4" or "1 2 3 4": up to four numbers; a missing or malformed one
    // is nullopt.
    static std::array<std::optional<int>, 4> ParsePosition(std::string_view text);

    // Where a window with the outer rectangle outer must stand so that its
    // title bar (the top titleBarHeight pixels) can be grabbed on one of the
    // screens' areas: unchanged when it already can, else moved by the least
    // distance that makes it so.
    static QPoint ReachablePosition(const QRect& outer, int titleBarHeight, const QList<QRect>& areas);
    // The part of the title bar that must be on a screen to be grabbed.
    static constexpr int TitleBarGrip = 100;
    // Assumed until the window manager has framed the window.
    static constexpr int NominalTitleBarHeight = 24;

    // True once the window manager's frame around the shown window is known
    // (and the window, if need be, moved to its restored frame position).
    bool FrameSettled() const { return frameSettled_; }

private:
    std::string Key(std::string_view name) const;
    std::string ScreenSuffix() const;
    std::string PositionText(std::string_view name);
    int CurrentPixelsPerInch() const;
    QRect OuterNormalRect() const;
    void MoveFrameTo(QPoint outerTopLeft);
    void WatchForFrame();
    void CheckFrame(bool lastTry);
    void NoteNormalPosition();

    QWidget& window_;
    IniFile& ini_;
    std::string path_;
    bool saved_ = false;
    bool positionRestored_ = false;
    bool frameSettled_ = false;
    // The outer top left in the normal state as last known: where the window
    // was put, then wherever it was moved to. A maximised or minimised window
    // is saved with it, as it would come back there.
    std::optional<QPoint> normalTopLeft_;
    std::optional<QPoint> storedTopLeft_;  // as the file holds it, before any correction
    std::optional<QMargins> normalMargins_;  // the frame's margins seen in the normal state
    std::unique_ptr<QTimer> frameWatch_;
    std::unique_ptr<QObject> moveTracker_;
    int frameChecks_ = 0;
};
