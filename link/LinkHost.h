#pragma once
#include "base/Failure.h"

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
    // A failed operation's text for the status text, with the kind of the
    // failure behind it, so that a front end can say more about a port that
    // was refused or is in use without reading the text.
    virtual void ShowFailure(const std::string& text, FailureKind) { PanelInfo(text); }
    // Keeps the front end alive during an exchange (paint, timers); the window
    // holds user input back until the exchange is over.
    virtual void ProcessMessages() = 0;
    // Whether the user has asked to close the program. A wait that takes
    // seconds (a device server's connect) gives way to it; a short exchange
    // runs to its end first.
    virtual bool CloseRequested() const { return false; }
    // After a successful status read / configuration read.
    virtual void ShowStatus() {}
    virtual void ShowConfiguration() {}
    // The serial number and installed version ("---" while searching).
    virtual void SetSerialText(const std::string&) {}
    virtual void SetVersionText(const std::string&) {}
    // The port has opened (true) or closed (false).
    virtual void PortOpened(bool) {}
};

// The host of front ends without a window (the command line, benchmarks,
// checks and tests): it keeps the last status text and the kind of failure
// it reported, so that a failed operation's own text can be reported, and
// optionally passes each text on as it comes.
class QuietHost : public ILinkHost {
public:
    void PanelInfo(const std::string& text) override {
        statusText_ = text;
        statusKind_ = FailureKind::Other;
        if (OnStatusText) OnStatusText(text);
    }
    void ShowFailure(const std::string& text, FailureKind kind) override {
        PanelInfo(text);
        statusKind_ = kind;
    }
    void ProcessMessages() override {}
    void PortOpened(bool open) override { portWasOpened_ = portWasOpened_ || open; }
    const std::string& StatusText() const { return statusText_; }
    // Whether the port has opened at least once: a search that then failed
    // met a port on which nobody answered.
    bool PortWasOpened() const { return portWasOpened_; }
    // The kind of the failure whose text is the status text (Other for a
    // progress text).
    FailureKind StatusKind() const { return statusKind_; }

    std::function<void(const std::string&)> OnStatusText;

private:
    std::string statusText_;
    FailureKind statusKind_ = FailureKind::Other;
    bool portWasOpened_ = false;
};

// How the update window is arranged; the update decides, the view shows it.
struct UpdateLayout {
    bool ResetPrompt = false;   // the reset prompt and CANCEL shown
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
