#pragma once
#include "link/LinkHost.h"

#include <string>

// The link's host on a terminal. The status text is kept rather than shown,
// so that a failed operation's own text can be printed as the command's error
// message; with verbose on, every status text is also echoed on standard
// error as it comes.
class TerminalHost : public ILinkHost {
public:
    void PanelInfo(const std::string& text) override;
    void ProcessMessages() override {}
    void ShowStatus() override { ++statusShown_; }
    void ShowConfiguration() override { ++configurationShown_; }
    std::string PortName() override { return port_; }
    void SetSerialText(const std::string& text) override { serialText_ = text; }
    void SetVersionText(const std::string& text) override { versionText_ = text; }
    void SetPortPicture(int index) override { portOpen_ = index == 2; }
    bool RemoteModeFlag() const override { return remoteMode_; }
    void SetRemoteModeFlag(bool on) override { remoteMode_ = on; }

    void SetPort(const std::string& name) { port_ = name; }
    void SetVerbose(bool on) { verbose_ = on; }

    const std::string& StatusText() const { return statusText_; }
    const std::string& SerialText() const { return serialText_; }
    const std::string& VersionText() const { return versionText_; }
    bool PortOpen() const { return portOpen_; }
    int StatusShown() const { return statusShown_; }
    int ConfigurationShown() const { return configurationShown_; }

private:
    std::string port_;
    std::string statusText_;
    std::string serialText_ = "---";
    std::string versionText_ = "---";
    bool verbose_ = false;
    bool remoteMode_ = false;
    bool portOpen_ = false;
    int statusShown_ = 0;
    int configurationShown_ = 0;
};
