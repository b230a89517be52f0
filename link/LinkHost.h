#pragma once
#include <functional>
#include <string>

// What the link needs from whoever drives it: the main window, or the
// command line. All calls come on the thread that calls the link. Only the
// status text and message processing must be provided; the rest shows what
// the link learnt and is left out by front ends that have nothing to show.
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
    virtual void ShowStatus() {}
    virtual void ShowConfiguration() {}
    // The serial number and installed version labels ("---" while searching).
    virtual void SetSerialText(const std::string&) {}
    virtual void SetVersionText(const std::string&) {}
    // Picture of the Reload-data button: 2 while the port is open, 1 closed.
    virtual void SetPortPicture(int) {}
};

// The host of front ends without a window (the command line, benchmarks,
// checks and tests): it keeps the last status text, so that a failed
// operation's own text can be reported, and optionally passes each text on
// as it comes.
class QuietHost : public ILinkHost {
public:
    void PanelInfo(const std::string& text) override {
        statusText_ = text;
        if (OnStatusText) OnStatusText(text);
    }
    void ProcessMessages() override {}
    const std::string& StatusText() const { return statusText_; }

    std::function<void(const std::string&)> OnStatusText;

private:
    std::string statusText_;
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
