#pragma once
// A desktop of its own for tests that need a real window manager: a virtual
// X display (Xvfb, on a display number it picks itself) with openbox on it,
// both started here and stopped when the object goes, whatever DISPLAY the
// machine happens to have. Windows are found and moved through the window
// manager, as a user's drag would move them.

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct xcb_connection_t;

struct OuterRect {
    int X = 0, Y = 0, Width = 0, Height = 0;  // the frame's outer rectangle on the screen
};

class VirtualDesktop {
public:
    static constexpr int ScreenWidth = 1024;
    static constexpr int ScreenHeight = 768;

    VirtualDesktop();
    ~VirtualDesktop();
    VirtualDesktop(const VirtualDesktop&) = delete;
    VirtualDesktop& operator=(const VirtualDesktop&) = delete;

    // Empty when the display and the window manager run; else why not.
    const std::string& Error() const { return error_; }
    const std::string& Display() const { return display_; }

    // The window of process pid that the window manager manages; 0 while none.
    std::uint32_t WindowOf(pid_t pid);
    // Its outer rectangle, once the window manager has framed it.
    std::optional<OuterRect> Frame(std::uint32_t window);
    bool Maximised(std::uint32_t window);
    // Asks the window manager to put the frame's top left corner at (x, y).
    void MoveFrame(std::uint32_t window, int x, int y);

    // Calls pred every few milliseconds until it holds or timeoutMs has passed.
    static bool WaitFor(const std::function<bool()>& pred, int timeoutMs);

private:
    std::uint32_t Atom(const char* name);
    bool WindowManagerRunning();
    void Stop(pid_t& pid);

    std::string folder_;
    std::string display_;
    std::string error_;
    pid_t xvfb_ = -1;
    pid_t wm_ = -1;
    xcb_connection_t* c_ = nullptr;
    std::uint32_t root_ = 0;
};

// Whether this process may make a private mount namespace (root, or a user
// namespace allowed); the window tests cover the console port with one.
bool PrivateMountNamespaceAllowed();

// The arguments of unshare that run program in a private mount namespace in
// which /dev/ttyS0 (the console on many machines) is an empty file, so that
// nothing the program does can open it.
std::vector<std::string> InPrivateMountNamespace(const std::string& emptyFile, const std::string& program,
                                                 const std::vector<std::string>& args);
