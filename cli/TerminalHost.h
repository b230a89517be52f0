#pragma once
#include "link/LinkHost.h"

#include <string>

// The link's host on a terminal. The status text is kept rather than shown,
// so that a failed operation's own text can be printed as the command's error
// message; with verbose on, every status text is also echoed on standard
// error as it comes. The window's labels, pictures and display operations
// have no counterpart: a command prints what SimulatorState holds once it is
// done.
class TerminalHost : public ILinkHost {
public:
    void PanelInfo(const std::string& text) override;
    void ProcessMessages() override {}
    void ShowStatus() override {}
    void ShowConfiguration() override {}
    std::string PortName() override { return port_; }
    void SetSerialText(const std::string&) override {}
    void SetVersionText(const std::string&) override {}
    void SetPortPicture(int) override {}
    bool RemoteModeFlag() const override { return remoteMode_; }
    void SetRemoteModeFlag(bool on) override { remoteMode_ = on; }

    void SetPort(const std::string& name) { port_ = name; }
    void SetVerbose(bool on) { verbose_ = on; }

    const std::string& StatusText() const { return statusText_; }

private:
    std::string port_;
    std::string statusText_;
    bool verbose_ = false;
    bool remoteMode_ = false;
};
