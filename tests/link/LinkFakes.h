#pragma once
// A recording host and update view for the link, and test firmware images.

#include "link/LinkHost.h"
#include "link/FirmwareImage.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Records everything the link shows; port is the port the test hands to the
// link's open operations.
struct FakeHost : ILinkHost {
    std::string port;
    std::vector<std::string> panel;
    std::vector<std::string> serial;
    std::vector<std::string> version;
    std::vector<bool> portOpened;  // each open (true) and close (false)
    int statusShown = 0;
    int configShown = 0;
    int processed = 0;
    std::function<void()> onProcess;  // runs inside ProcessMessages, as a click would
    std::function<bool()> closeRequested;  // the user's close request, as the window sees it

    void PanelInfo(const std::string& text) override { panel.push_back(text); }
    void ProcessMessages() override {
        ++processed;
        if (onProcess) onProcess();
    }
    bool CloseRequested() const override { return closeRequested && closeRequested(); }
    void ShowStatus() override { ++statusShown; }
    void ShowConfiguration() override { ++configShown; }
    void SetSerialText(const std::string& text) override { serial.push_back(text); }
    void SetVersionText(const std::string& text) override { version.push_back(text); }
    void PortOpened(bool open) override { portOpened.push_back(open); }

    std::string LastPanel() const { return panel.empty() ? std::string() : panel.back(); }
};

struct FakeView : IUpdateView {
    std::vector<UpdateLayout> layouts;
    std::vector<std::pair<int, int>> progress;
    void ShowLayout(const UpdateLayout& layout) override { layouts.push_back(layout); }
    void SetProgress(int position, int maximum) override { progress.emplace_back(position, maximum); }
};

// A header laid out like the carried one: "ER90", version bytes, build date,
// device name, an opaque tail.
std::vector<std::uint8_t> TestHeader(std::uint8_t major = 1, std::uint8_t minor = 2, std::uint8_t patch = 0);
// Header followed by body.
std::vector<std::uint8_t> TestImage(const std::vector<std::uint8_t>& body,
                                    const std::vector<std::uint8_t>& header = TestHeader());
// "#" and the bytes as hex, then a carriage return: a data reply.
std::string DataReply(const std::vector<std::uint8_t>& bytes);
