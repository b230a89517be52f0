// The bench window on several emulated boxes, a silent port and a missing
// one: what each row shows, the polling, a box that goes and comes back, the
// jobs on a selection (each box's lines against the command line's bench) and
// the end, which leaves remote mode on every box.

#include "BenchTestSupport.h"

#include "app/CarriedImage.h"
#include "link/PortChoice.h"

#include "Child.h"
#include "ExampleSetup.h"
#include "Pty.h"
#include "QtWait.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>

#include <algorithm>
#include <memory>

namespace {

// A job's lines in a log cleared just before it: from its search on, as many
// entries as the command line's run of the same job put on its box's line.
Lines JobLines(const std::vector<std::string>& log, std::size_t count) {
    const auto first = std::find(log.begin(), log.end(), "!I");
    const auto available = static_cast<std::size_t>(log.end() - first);
    return Lines(first, first + static_cast<std::ptrdiff_t>(std::min(count, available)));
}

}  // namespace

TEST(BenchWindow, RowsShowEachBoxAsItIsAndClosingLeavesRemoteModeOnEvery) {
    EmulatorOptions first = Box("KNA1", 6);
    first.TwoEcus = true;
    first.Codes1 = {0x0301, 0x0420};
    first.Codes2 = {0xC100};
    first.Mil = true;
    EmulatorOptions old = Box("KNB2", 3);
    old.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    const Pty silent;  // a port where nobody answers
    const TempFolder folder;
    const std::string missing = folder / "ttyUSB9";
    Bench bench({first, old}, {silent.Path(), missing});

    const auto& a = bench.boxes[0]->PortPath();
    const auto& b = bench.boxes[1]->PortPath();
    ASSERT_TRUE(bench.WaitState(a, "ready"));
    ASSERT_TRUE(bench.WaitState(b, "ready, firmware update due"));
    const std::string carried = CarriedImage().VersionLabel();
    const struct {
        std::string port;
        Lines cells;  // serial number .. codes of ECU 2
    } rows[] = {
        {a, {"KNA1", carried, "6 - CAN 11/500", "2", "on", "2: P0301 P0420", "1: U0100"}},
        {b, {"KNB2", "v1.1.0", "3 - ISO9141", "1", "off", "0", ""}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.port);
        const int r = bench.RowOf(row.port);
        Lines cells;
        for (int c = TBenchWindow::ColSerial; c < TBenchWindow::ColState; ++c) cells.push_back(bench.Cell(r, c));
        EXPECT_EQ(cells, row.cells);
    }
    EXPECT_TRUE(bench.WaitState(silent.Path(), "silent"));
    EXPECT_TRUE(bench.WaitState(missing, "gone"));

    // The rows in the ports' natural order.
    std::vector<std::string> shown;
    for (int r = 0; r < bench.Table().rowCount(); ++r) shown.push_back(bench.Cell(r, TBenchWindow::ColPort));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end(), [](const auto& x, const auto& y) { return PortBefore(x, y); }));

    // Kept current: each box's status read again and again.
    for (auto& box : bench.boxes) box->ClearLog();
    for (auto& box : bench.boxes) {
        EXPECT_TRUE(WaitWithEvents([&] {
            const Lines c = Commands(box->Log());
            return std::count(c.begin(), c.end(), "!S") >= 2;
        }));
    }
    // What the box reports on a later read shows (its protocol and MIL changed on the box).
    DeviceState changed = EmulatedSimulator::InitialState(first);
    changed.Protocol = 8;
    changed.MilOn = false;
    bench.boxes[0]->SetState(changed);
    EXPECT_TRUE(WaitWithEvents([&] {
        const int r = bench.RowOf(a);
        return bench.Cell(r, TBenchWindow::ColProtocol) == "8 - CAN 11/250" && bench.Cell(r, TBenchWindow::ColMil) == "off";
    }));

    bench.window->close();
    for (auto& box : bench.boxes) EXPECT_EQ(Commands(box->Log()).back(), "!K0") << box->PortPath();
}

TEST(BenchWindow, BoxThatGoesShowsGoneAndComesBack) {
    const TempFolder folder;
    EmulatorOptions o = Box("KNV1", 6);
    o.LinkPath = folder / "ttyUSB0";
    o.Faults.VanishAfter = 8;
    o.Faults.ReturnAfterMs = 1500;
    EmulatedSimulator box(o);
    box.Start();
    Bench watched({}, {o.LinkPath});
    ASSERT_TRUE(watched.WaitState(o.LinkPath, "ready"));
    EXPECT_TRUE(watched.WaitState(o.LinkPath, "gone"));
    EXPECT_TRUE(watched.WaitState(o.LinkPath, "ready", 15000));
    EXPECT_EQ(watched.Cell(watched.RowOf(o.LinkPath), TBenchWindow::ColSerial), "KNV1");
}

TEST(BenchWindow, JobsOnASelectionSendWhatTheCommandLinesBenchSends) {
    EmulatorOptions old = Box("KN3", 6);
    old.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    const std::vector<EmulatorOptions> options = {Box("KN1", 6), Box("KN2", 3), old};
    const TempFolder saved;
    BenchDialogs dialogs;
    dialogs.ApplyFile = [](QWidget&) { return QString::fromStdString(ExampleFile()); };
    dialogs.SavePattern = [&saved](QWidget&) { return QString::fromStdString(saved / "window-{serial}"); };
    Bench bench(options, {}, dialogs);
    for (auto& box : bench.boxes) ASSERT_TRUE(bench.WaitState(box->PortPath(), box.get() == bench.boxes[2].get() ? "ready, firmware update due" : "ready"));

    // The same job from the command line's bench, on boxes in the same state.
    auto cliLines = [&](const std::vector<std::size_t>& which, const std::vector<std::string>& command) {
        std::vector<std::unique_ptr<EmulatedSimulator>> twins;
        std::string ports;
        for (std::size_t i : which) {
            twins.push_back(std::make_unique<EmulatedSimulator>(options[i]));
            twins.back()->Start();
            ports += (ports.empty() ? "" : ",") + twins.back()->PortPath();
        }
        std::vector<std::string> args = {"--port", ports};
        args.insert(args.end(), command.begin(), command.end());
        const auto run = RunCli(args);
        EXPECT_EQ(run.Status, 0) << run.Err << run.Out;
        std::vector<Lines> lines;
        for (auto& t : twins) lines.push_back(t->Log());
        return lines;
    };

    // Save with nothing selected: a file per box, as the command line writes it.
    (void)cliLines({0, 1, 2}, {"save", saved / "cli-{serial}"});
    bench.Trigger("BenchSave");
    ASSERT_TRUE(bench.WaitIdle());
    for (const char* serial : {"KN1", "KN2", "KN3"}) {
        const std::string cli = ReadFile(saved / ("cli-" + std::string(serial) + ".kns"));
        EXPECT_FALSE(cli.empty()) << serial;
        EXPECT_EQ(ReadFile(saved / ("window-" + std::string(serial) + ".kns")), cli) << serial;
    }

    // Apply on the first and the third box: the second is left alone.
    const auto applied = cliLines({0, 2}, {"apply", ExampleFile()});
    for (auto& box : bench.boxes) box->ClearLog();
    bench.Select({0, 2});
    bench.Trigger("BenchApply");
    ASSERT_TRUE(bench.WaitIdle());
    EXPECT_EQ(JobLines(bench.boxes[0]->Log(), applied[0].size()), applied[0]);
    EXPECT_EQ(JobLines(bench.boxes[2]->Log(), applied[1].size()), applied[1]);
    const Lines polls = Commands(bench.boxes[1]->Log());
    EXPECT_TRUE(std::all_of(polls.begin(), polls.end(), [](const auto& c) { return c == "!S"; }));
    EXPECT_TRUE(bench.WaitState(bench.boxes[0]->PortPath(), "ready"));
    EXPECT_EQ(bench.Cell(bench.RowOf(bench.boxes[0]->PortPath()), TBenchWindow::ColEcus), "2");

    // Update with nothing selected: only the box with another firmware.
    const auto updated = cliLines({2}, {"update-firmware"});
    for (auto& box : bench.boxes) box->ClearLog();
    bench.Table().clearSelection();
    bench.Trigger("BenchUpdate");
    ASSERT_TRUE(bench.WaitIdle(60000));
    EXPECT_EQ(JobLines(bench.boxes[2]->Log(), updated[0].size()), updated[0]);
    EXPECT_TRUE(bench.WaitState(bench.boxes[2]->PortPath(), "ready"));
    // The boxes with the carried firmware were only polled meanwhile.
    for (std::size_t i : {0u, 1u}) {
        const Lines c = Commands(bench.boxes[i]->Log());
        EXPECT_TRUE(std::all_of(c.begin(), c.end(), [](const auto& l) { return l == "!S"; })) << i;
    }
}

TEST(BenchWindow, ClosingDuringATransferFinishesItFirst) {
    EmulatorOptions old = Box("KN1", 6);
    old.Version = std::array<std::uint8_t, 3>{1, 1, 0};
    old.Pace = true;
    Bench bench({old});
    EmulatedSimulator& box = *bench.boxes[0];
    ASSERT_TRUE(bench.WaitState(box.PortPath(), "ready, firmware update due"));
    bench.Trigger("BenchUpdate");
    ASSERT_TRUE(WaitWithEvents([&] {
        const Lines log = box.Log();
        return std::find(log.begin(), log.end(), "frame 21 0100 63") != log.end();
    }, 20000));
    EXPECT_TRUE(WaitWithEvents([&] { return bench.State(box.PortPath()).starts_with("updating"); }))
        << bench.State(box.PortPath());
    bench.window->close();
    EXPECT_TRUE(bench.window->isVisible());
    ASSERT_TRUE(WaitWithEvents([&] { return !bench.window->isVisible(); }, 60000));
    // The whole image went over, and nothing was begun after it.
    const Lines log = box.Log();
    const auto restart = std::find(log.begin(), log.end(), "restart");
    ASSERT_NE(restart, log.end());
    EXPECT_TRUE(std::none_of(restart, log.end(), [](const auto& e) { return e[0] == '!'; }));
}

TEST(BenchWindow, DoubleClickLendsTheBoxToTheMainWindowUntilItCloses) {
    Bench bench({Box("KN1", 6)});
    const std::string& port = bench.boxes[0]->PortPath();
    ASSERT_TRUE(bench.WaitState(port, "ready"));
    bench.boxes[0]->ClearLog();
    emit bench.Table().cellDoubleClicked(bench.RowOf(port), 0);
    ASSERT_TRUE(WaitWithEvents([&] { return !bench.opened.empty(); }));
    EXPECT_EQ(bench.opened, Lines{port});
    EXPECT_EQ(Commands(bench.boxes[0]->Log()).back(), "!K0");  // the port let go of
    EXPECT_EQ(bench.State(port), "open in the main window");
    bench.closeMain();
    EXPECT_TRUE(bench.WaitState(port, "ready"));
}

TEST(BenchWindow, ForcedUpdateIsAskedForOnceAndWaitsForEveryResetButton) {
    std::vector<int> asked;
    BenchDialogs dialogs;
    dialogs.ConfirmForcedUpdate = [&asked](QWidget&, int count) {
        asked.push_back(count);
        return true;
    };
    Bench bench({Box("KN1", 6), Box("KN2", 3)}, {}, dialogs);
    for (auto& box : bench.boxes) ASSERT_TRUE(bench.WaitState(box->PortPath(), "ready"));
    bench.Trigger("BenchForceUpdate");
    EXPECT_EQ(asked, std::vector<int>{2});
    // One prompt names both boxes.
    auto* summary = bench.window->findChild<QLabel*>(QStringLiteral("BenchSummary"));
    ASSERT_TRUE(WaitWithEvents([&] { return summary->text().contains(QStringLiteral("reset button")); }, 10000));
    // The prompt goes out as the boxes begin; each row says it waits, and
    // keeps saying so while its boot loader stays silent.
    for (auto& box : bench.boxes) {
        EXPECT_TRUE(summary->text().contains(QString::fromStdString(box->PortPath()))) << summary->text().toStdString();
        EXPECT_TRUE(bench.WaitState(box->PortPath(), "waiting for the reset button")) << bench.State(box->PortPath());
    }
    Pump(300);
    for (auto& box : bench.boxes) {
        EXPECT_EQ(bench.State(box->PortPath()), "waiting for the reset button");
        box->PressReset();
    }
    ASSERT_TRUE(bench.WaitIdle(60000));
    for (auto& box : bench.boxes) {
        EXPECT_TRUE(bench.WaitState(box->PortPath(), "ready"));
        const Lines log = box->Log();
        EXPECT_NE(std::find(log.begin(), log.end(), "restart"), log.end()) << box->PortPath();
        EXPECT_EQ(std::find(log.begin(), log.end(), "!@"), log.end()) << box->PortPath();
    }
}
