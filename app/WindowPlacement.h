#pragma once
// Saves a top-level window's placement into the settings file when it closes
// and restores it when it is first shown. The window is of fixed size, so
// only its position and its show state come back.
//
// The position saved and restored is the window's outer rectangle, frame
// included, so that a window closed and started again stands exactly where
// it was left, however thick the window manager's frame is.
//
// The file counts in the screen's own pixels, as a program that knows the
// screen's scale sees them: on a 1600 x 1000 screen at 150 % its keys are
// NormPos(1600x1000), PixelsPerInch is 144 and the positions are those
// pixels, while Qt lays the window out in device-independent pixels
// (1067 x 667 there). A file from another scale therefore never moves the
// window; it is centred. Whatever the file says, the whole frame lands in
// one screen's work area, or the window is centred.
//
// The window calls Save() when it agrees to close (before writing its own
// settings) and again from its destructor; only the first call writes.
// Restore() runs once, best before the window is first created (so the
// position is handed to the window manager as a frame position); when a
// stored integer is malformed it raises EConvertError after applying what it
// had already applied, so the caller shows the error and carries on.

#include "WindowPlacementScreens.h"

#include "storage/IniFile.h"

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
    void Centre(QSize frameSize);
    QMargins HiddenBorders();
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
    std::optional<QPoint> storedTopLeft_;  // where the file put it, in Qt's coordinates
    std::optional<QPoint> storedRecord_;   // and the rectangle's corner in screen pixels
    std::optional<QMargins> normalMargins_;  // the frame's margins seen in the normal state
    // What the system counts to the window's rectangle beyond the frame that
    // is seen, in screen pixels (see WindowRectangle), in the normal state.
    QMargins hiddenBorders_;
    std::unique_ptr<QTimer> frameWatch_;
    std::unique_ptr<QObject> moveTracker_;
    int frameChecks_ = 0;
};
