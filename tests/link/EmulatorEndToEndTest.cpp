// The link against the emulated simulator in process, behind a line in
// memory (a "memory:" port, the same on every system): a whole session and a
// whole automatic firmware update with the carried image.

#include "LinkFakes.h"

#include "emu/EmulatedSimulator.h"
#include "link/Connection.h"
#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"

#include "FirmwareBlob.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

namespace {

class EndToEnd : public ::testing::Test {
protected:
    EndToEnd() {
        const auto blob = CarriedFirmwareBlob();
        image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
        image.PrepareTransferArea();
    }

    void Start(EmulatorOptions options) {
        options.MemoryLineName = "link-end-to-end";
        emu = std::make_unique<EmulatedSimulator>(options);
        emu->Start();
        host.port = emu->PortPath();
    }

    bool Logged(const std::string& entry) const {
        const auto log = emu->Log();
        return std::find(log.begin(), log.end(), entry) != log.end();
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

    std::unique_ptr<EmulatedSimulator> emu;  // outlives the link, which closes first
    FakeHost host;
    FakeView view;
    SimulatorState state;
    FirmwareImage image;
    TComIo io{host, state, image};
};

}  // namespace

TEST_F(EndToEnd, SessionReadsWritesAndLeaves) {
    EmulatorOptions options;
    options.Serial = "KS-E2E-42";
    options.Protocol = 6;
    options.TwoEcus = true;
    options.Codes1 = {0x0123, 0xD234};
    options.Mil = true;
    Start(options);

    ASSERT_EQ(Search(), SchedulerState::ReadConfiguration) << host.LastPanel();
    EXPECT_EQ(host.serial.back(), "KS-E2E-42");
    EXPECT_EQ(host.version.back(), "v1.2.0");

    ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
    EXPECT_EQ(state.Protocol, 6);
    EXPECT_EQ(state.SecondEcu, 1);
    EXPECT_TRUE(state.MilOn);
    ASSERT_EQ(io.ReadConfig(), SchedulerState::Polling) << host.LastPanel();
    EXPECT_TRUE(io.RemoteModeOn());
    EXPECT_EQ(state.DtcWord(1, 1), 0x0123);
    EXPECT_EQ(state.DtcWord(1, 2), 0xD234);

    std::array<std::uint16_t, DtcSlots> ecu1{}, ecu2{};
    ecu1[0] = 0x3FFF;
    ecu2[0] = 0x8123;
    ecu2[9] = 0x4001;
    ASSERT_TRUE(io.SendDtc(0x21, 0x80, ecu1, ecu2)) << host.LastPanel();
    ASSERT_TRUE(io.SetProtocol(0x08)) << host.LastPanel();
    ASSERT_TRUE(io.ReadStatus());
    EXPECT_EQ(state.CodeCounts, 0x21);
    EXPECT_FALSE(state.MilOn);
    EXPECT_EQ(state.Protocol, 8);
    EXPECT_EQ(state.SecondEcu, 0);
    ASSERT_EQ(io.ReadConfig(), SchedulerState::Polling);
    EXPECT_EQ(state.DtcWord(1, 1), 0x3FFF);
    EXPECT_EQ(state.DtcWord(2, 1), 0x8123);
    EXPECT_EQ(state.DtcWord(2, 10), 0x4001);

    io.ClosePort();
    EXPECT_FALSE(io.Port().Connected());
    EXPECT_TRUE(emu->WaitForLogEntry("!K0", 2000));
}

TEST_F(EndToEnd, AutomaticUpdateEndsWithTheCarriedVersion) {
    EmulatorOptions options;
    options.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    options.RestartSilenceMs = 300;
    Start(options);

    ASSERT_EQ(Search(), SchedulerState::AutoUpdate) << host.LastPanel();
    EXPECT_EQ(host.version.back(), "v1.1.0");

    FirmwareUpdate update(io, image);
    update.Begin(SchedulerState::AutoUpdate, view, host.port);
    EXPECT_EQ(view.layouts.at(0).Installed, "v1.1.0");
    EXPECT_EQ(view.layouts.at(0).Carried, "v1.2.0");
    std::optional<SchedulerState> result;
    for (int step = 0; step < 30 && !result; ++step) {
        result = update.Step();
        if (!result) std::this_thread::sleep_for(std::chrono::milliseconds(FirmwareUpdate::StepInterval));
    }
    ASSERT_EQ(result, SchedulerState::Search) << update.FailureText();
    EXPECT_TRUE(emu->WaitForLogEntry("frame 02", 2000));
    EXPECT_TRUE(Logged("frame 21 6F00 00"));

    // The restarted simulator is silent for a while; the search waits it out.
    ASSERT_EQ(Search(FirmwareUpdate::SearchAttemptsAfterUpdate), SchedulerState::ReadConfiguration)
        << host.LastPanel();
    EXPECT_EQ(host.version.back(), "v1.2.0");
    ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
    EXPECT_EQ(io.ReadConfig(), SchedulerState::Polling) << host.LastPanel();
}
