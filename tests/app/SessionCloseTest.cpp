// The end of the window's session against the emulated simulator behind a
// line in memory: the placement is saved while the port is still open, the
// port closes (remote mode left first), the settings are written after it,
// and no failure stops the steps after it.

#include "app/SessionClose.h"

#include "base/Failure.h"
#include "emu/EmulatedSimulator.h"
#include "link/LinkHost.h"
#include "link/uComIo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct QuietHost : ILinkHost {
    void PanelInfo(const std::string&) override {}
    void ProcessMessages() override {}
};

TEST(SessionCloseTest, EveryStepRunsInOrderAndEachFailureIsReported) {
    EmulatorOptions options;
    options.MemoryLineName = "session-close";
    EmulatedSimulator emu(options);
    emu.Start();
    for (const int failing : {0, 1, 2}) {
        SCOPED_TRACE(failing);
        QuietHost host;
        SimulatorState state;
        FirmwareImage image;
        TComIo link(host, state, image);
        link.OpenPort(emu.PortPath());
        ASSERT_TRUE(link.SetRemoteMode(true));
        emu.ClearLog();
        std::vector<std::string> seen;
        auto step = [&](int index, const char* name) {
            return [&seen, &link, index, name, failing] {
                seen.push_back(std::string(name) + (link.PortOpen() ? " (port open)" : " (port closed)"));
                if (index == failing) throw EFailure(std::string(name) + " failed");
            };
        };
        CloseSession(&link, {step(1, "placement"), step(2, "settings"),
                             [&](const std::exception& e) { seen.emplace_back(e.what()); }});
        std::vector<std::string> expected{"placement (port open)"};
        if (failing == 1) expected.emplace_back("placement failed");
        expected.emplace_back("settings (port closed)");
        if (failing == 2) expected.emplace_back("settings failed");
        EXPECT_EQ(seen, expected);
        EXPECT_TRUE(emu.WaitForLogSize(1, 2000));
        EXPECT_EQ(emu.Log(), std::vector<std::string>{"!K0"});
    }
}

}  // namespace
