// The link on the Win32 port against the emulator: the start-up sequence,
// the SEND traffic and a whole firmware update, as the window runs them.

#include "WinTestSupport.h"

#include "LinkFakes.h"

#include "link/Connection.h"
#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"

#include "FirmwareBlob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <thread>

namespace {

class WinLink : public ::testing::Test {
protected:
    void SetUp() override {
        KNS_REQUIRE_PORT("LINK");
        const auto blob = CarriedFirmwareBlob();
        image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
        image.PrepareTransferArea();
        host.port = PortFor("LINK");
    }

    // The scheduler's search: attempts a step apart while the link says Search.
    SchedulerState Search(int attempts = Connection::SearchAttemptsPerSearch) {
        SchedulerState state = SchedulerState::Search;
        Connection connection(io, state);
        connection.Restart(SchedulerState::Search, attempts);
        for (;;) {
            const Connection::StepResult step = connection.Step(host.port);
            if (state != SchedulerState::Search) return state;
            std::this_thread::sleep_for(std::chrono::milliseconds(*step.NextStepMs));
        }
    }

    FakeHost host;
    FakeView view;
    SimulatorState state;
    FirmwareImage image;
    TComIo io{host, state, image};
};

}  // namespace

TEST_F(WinLink, StartUpSequenceReadsTheSimulator) {
    const EmulatorLog log("LINK");
    const SchedulerState found = io.FindSimulator(host.port, true);
    // The emulator may still carry an older firmware when the update test has not run yet.
    ASSERT_TRUE(found == SchedulerState::ReadConfiguration || found == SchedulerState::AutoUpdate)
        << host.LastPanel();
    EXPECT_EQ(host.serial.back(), "KNWIN0010");
    ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
    EXPECT_EQ(io.ReadConfig(), SchedulerState::Polling) << host.LastPanel();
    EXPECT_EQ(state.SerialNumber(), "KNWIN0010");
    io.ClosePort();
    EXPECT_FALSE(io.Port().Connected());
    ASSERT_TRUE(log.WaitFor("!K0"));
    EXPECT_EQ(log.NewCommands(), (std::vector<std::string>{"!I", "!B", "!S", "!C", "!K1", "!K0"}));
}

TEST_F(WinLink, SendPutsBothTablesAndTheCountsOnTheWire) {
    ASSERT_NE(Search(), SchedulerState::Stopped) << host.LastPanel();
    ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
    const EmulatorLog log("LINK");
    std::array<std::uint16_t, DtcSlots> ecu1{}, ecu2{};
    ecu1[0] = 0x0301;  // P0301
    ecu1[1] = 0x4420;  // C0420
    ecu2[0] = 0xC001;  // U0001
    ASSERT_TRUE(io.SendDtc(0x12, 0x81, ecu1, ecu2)) << host.LastPanel();
    const std::string zeros(4 * 8, '0');
    EXPECT_EQ(log.NewCommands(),
              (std::vector<std::string>{"!X014203014420" + zeros, "!X0156C001" + zeros + "0000", "!F1281"}));

    // Read back, the simulator holds what was sent.
    ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
    ASSERT_EQ(io.ReadConfig(), SchedulerState::Polling) << host.LastPanel();
    EXPECT_EQ(state.DtcWord(1, 1), 0x0301);
    EXPECT_EQ(state.DtcWord(1, 2), 0x4420);
    EXPECT_EQ(state.DtcWord(2, 1), 0xC001);
    io.ClosePort();
}

TEST_F(WinLink, FirmwareUpdateTransfersEveryFrame) {
    const SchedulerState found = Search();
    ASSERT_TRUE(found == SchedulerState::ReadConfiguration || found == SchedulerState::AutoUpdate)
        << host.LastPanel();
    const EmulatorLog log("LINK");
    FirmwareUpdate update(io, image);
    update.Begin(SchedulerState::AutoUpdate, view, host.port);
    std::optional<SchedulerState> result;
    for (int step = 0; step < 100 && !result; ++step) {
        result = update.Step();
        if (!result) std::this_thread::sleep_for(std::chrono::milliseconds(FirmwareUpdate::StepInterval));
    }
    ASSERT_EQ(result, SchedulerState::Search) << update.FailureText();
    ASSERT_TRUE(log.WaitFor("frame 02"));
    EXPECT_EQ(log.NewFrames(), 218);
    ASSERT_FALSE(view.progress.empty());
    EXPECT_EQ(view.progress.back().first, view.progress.back().second);

    // The restarted simulator carries the program's firmware.
    ASSERT_EQ(Search(FirmwareUpdate::SearchAttemptsAfterUpdate), SchedulerState::ReadConfiguration) << host.LastPanel();
    EXPECT_EQ(host.version.back(), "v1.2.0");
    io.ClosePort();
}
