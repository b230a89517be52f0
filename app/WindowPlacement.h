#pragma once
// Saves a top-level window's placement into the settings file when it closes
// and restores it when it is first shown. The window is of fixed size, so
// only its position and its show state come back.
//
// The window calls Save() when it agrees to close (before writing its own
// settings) and again from its destructor; only the first call writes.
// Restore() runs once, before the window's own show handling; when a stored
// integer is malformed it raises EConvertError after applying what it had
// already applied, so the caller shows the error and carries on.

#include "storage/IniFile.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

class QWidget;

class WindowPlacement {
public:
    WindowPlacement(QWidget& window, IniFile& ini, std::string path = "Main\\");

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

private:
    std::string Key(std::string_view name) const;
    std::string ScreenSuffix() const;
    std::string PositionText(std::string_view name);
    int CurrentPixelsPerInch() const;

    QWidget& window_;
    IniFile& ini_;
    std::string path_;
    bool saved_ = false;
    bool positionRestored_ = false;
};
