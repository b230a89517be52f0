#pragma once
#include <string>

// What the link needs from whoever drives it: the main window, or the
// command line. All calls come on the thread that calls the link.
class ILinkHost {
public:
    virtual ~ILinkHost() = default;

    // Sets the status text (empty clears it) and processes pending messages
    // at once, so that the text is painted before a blocking exchange.
    virtual void PanelInfo(const std::string& text) = 0;
    // Keeps the front end alive during an exchange (paint, timers); the window
    // holds user input back until the exchange is over.
    virtual void ProcessMessages() = 0;
    // After a successful status read / configuration read.
    virtual void ShowStatus() = 0;
    virtual void ShowConfiguration() = 0;
    // The port to open, read anew before every open.
    virtual std::string PortName() = 0;
    // The serial number and installed version labels ("---" while searching).
    virtual void SetSerialText(const std::string& text) = 0;
    virtual void SetVersionText(const std::string& text) = 0;
    // Picture of the Reload-data button: 2 while the port is open, 1 closed.
    virtual void SetPortPicture(int index) = 0;
    // The remote-mode flag, owned by the front end.
    virtual bool RemoteModeFlag() const = 0;
    virtual void SetRemoteModeFlag(bool on) = 0;
};

// How the update window is arranged; the link decides, the view shows it.
struct UpdateLayout {
    bool ResetPrompt = false;   // reset prompt and CANCEL shown, window 150 high (else 100)
    bool ShowInstalled = false; // "Installed version:" and its value shown
    std::string Installed;      // installed version text when shown
    std::string Carried;        // carried version text, always shown
};

// The view of a firmware update: the window, or the command line's progress.
class IUpdateView {
public:
    virtual ~IUpdateView() = default;
    virtual void ShowLayout(const UpdateLayout& layout) = 0;
    virtual void SetProgress(int position, int maximum) = 0;
};
