// The firmware update through a serial device server (ser2net in front of
// the emulated simulator's pseudo-terminal): every frame arrives as sent,
// 0xFF bytes included, which the Telnet protocol escapes on the wire.

#include "LinkFakes.h"
#include "Ser2net.h"

#include "emu/EmulatedSimulator.h"
#include "link/BoxMonitor.h"
#include "link/Connection.h"
#include "link/FirmwareUpdate.h"
#include "link/uComIo.h"

#include "serial/ComPort.h"

#include "FirmwareBlob.h"
#include "WaitUntil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>

namespace {

TEST(NetworkLink, UpdateThroughTheServerFlashesTheImageByteForByte) {
    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    image.PrepareTransferArea();
    ASSERT_GT(std::count(image.TransferArea().begin(), image.TransferArea().end(), 0xFF), 0);

    EmulatorOptions options;
    options.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    options.RestartSilenceMs = 300;
    EmulatedSimulator emu(options);
    emu.Start();
    Ser2net server(emu.PortPath());

    FakeHost host;
    FakeView view;
    SimulatorState state;
    TComIo io(host, state, image);
    ASSERT_EQ(io.FindSimulator(server.RfcName(), true), SchedulerState::AutoUpdate) << host.LastPanel();

    FirmwareUpdate update(io, image);
    update.Begin(SchedulerState::AutoUpdate, view, server.RfcName());
    std::optional<SchedulerState> result;
    for (int step = 0; step < 30 && !result; ++step) {
        result = update.Step();
        if (!result) std::this_thread::sleep_for(std::chrono::milliseconds(FirmwareUpdate::StepInterval));
    }
    ASSERT_EQ(result, SchedulerState::Search) << update.FailureText();
    ASSERT_TRUE(emu.WaitForLogEntry("frame 02", 2000));
    const auto log = emu.Log();
    EXPECT_EQ(std::count_if(log.begin(), log.end(), [](const std::string& e) { return e.rfind("frame", 0) == 0; }),
              218);
    EXPECT_EQ(std::count_if(log.begin(), log.end(),
                            [](const std::string& e) { return e.find("refused") != std::string::npos; }),
              0);
    const auto flash = emu.State().Flash;
    ASSERT_EQ(flash.size(), image.TransferArea().size());
    EXPECT_TRUE(std::equal(flash.begin(), flash.end(), image.TransferArea().begin()));
    io.ClosePort();
}

// A server that accepts and never answers, or negotiates and then never
// answers the line settings, holds the open for seconds: the front end is
// told what the wait is for, kept painted all along, and a close request
// (the window's, or the command line's stop) ends the wait at its next step
// as a port that is not there.
TEST(NetworkLink, ConnectWaitKeepsTheFrontEndAliveAndGivesWayToAClose) {
    SilentListener silent;
    ComPortServer unanswering(ComPortServer::Settings::NeverAnswered);
    const std::string servers[] = {"rfc2217://127.0.0.1:" + std::to_string(silent.Port()), unanswering.Name()};
    for (const std::string& server : servers) {
        for (const bool byWindow : {true, false}) {
            SCOPED_TRACE(server + (byWindow ? ", the window's close" : ", the command line's stop"));
            FirmwareImage image;
            SimulatorState state;
            FakeHost host;
            TComIo io(host, state, image);
            const auto asked = [&host] { return host.processed >= 8; };
            if (byWindow)
                host.closeRequested = asked;
            else
                (void)io.SetStopWaiting(asked);
            EXPECT_EQ(io.FindSimulator(server, true), SchedulerState::Stopped);
            ASSERT_FALSE(host.panel.empty());
            EXPECT_EQ(host.panel.front(), "Connecting to " + server.substr(std::string("rfc2217://").size()) + "...");
            EXPECT_EQ(host.LastPanel(), "Unable to open com port (win error code: 2)");
            EXPECT_GE(host.processed, 8);
            EXPECT_LE(host.processed, 10) << "the wait went on after the close request";
        }
    }
}

// Behind a device server the line takes a byte no faster than 115200 baud
// allows (the emulator reads at the line's pace): a purge before each command
// must clear only what the simulator sent, never the start of the command
// that follows it on its way out.
TEST(NetworkLink, PurgesLeaveTheNextCommandWholeOnASlowLine) {
    EmulatorOptions options;
    options.Pace = true;
    EmulatedSimulator emu(options);
    emu.Start();
    Ser2net server(emu.PortPath());
    for (const std::string& port : {server.RfcName(), server.TcpName()}) {
        SCOPED_TRACE(port);
        emu.ClearLog();
        FirmwareImage image;
        const auto blob = CarriedFirmwareBlob();
        image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
        FakeHost host;
        SimulatorState state;
        TComIo io(host, state, image);
        ASSERT_EQ(io.FindSimulator(port, true), SchedulerState::ReadConfiguration) << host.LastPanel();
        ASSERT_EQ(io.ReadConfig(), SchedulerState::Polling) << host.LastPanel();
        for (int poll = 0; poll < 5; ++poll) ASSERT_TRUE(io.ReadStatus()) << host.LastPanel();
        io.ClosePort();
        const std::vector<std::string> expected = {"!I", "!B", "!C", "!K1", "!S", "!S", "!S", "!S", "!S", "!K0"};
        EXPECT_TRUE(emu.WaitForLogSize(expected.size(), 2000));
        EXPECT_EQ(emu.Log(), expected);
    }
}

}  // namespace

// A saved server address that another client holds, as the bench finds it
// when it searches the machine: "in use", tried again, and read as soon as
// the other client lets go (never left alone as a port nobody answers on).
TEST(NetworkLink, BenchMonitorReadsABoxOnceTheServersOtherClientLetsGo) {
    EmulatedSimulator emu(EmulatorOptions{});
    emu.Start();
    Ser2net server(emu.PortPath());
    auto other = std::make_unique<TComPort>();
    other->SetPort(server.RfcName());
    other->Open();

    std::mutex mutex;
    std::vector<BoxView::Kind> seen;
    auto last = [&] {
        std::lock_guard lock(mutex);
        return seen.empty() ? BoxView::Kind::Searching : seen.back();
    };
    FirmwareImage image;
    const auto blob = CarriedFirmwareBlob();
    image.Load(std::vector<std::uint8_t>(blob.begin(), blob.end()));
    BoxMonitor monitor(server.RfcName(), image, [&](const BoxView& v) {
        std::lock_guard lock(mutex);
        seen.push_back(v.State);
    }, true);
    ASSERT_TRUE(WaitUntil([&] { return last() == BoxView::Kind::InUse; }, 15000));
    other.reset();
    EXPECT_TRUE(WaitUntil([&] { return last() == BoxView::Kind::Ready; }, 15000));
    std::lock_guard lock(mutex);
    EXPECT_EQ(std::count(seen.begin(), seen.end(), BoxView::Kind::LeftAlone), 0);
}
