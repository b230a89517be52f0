// The bench window's rows as a lab relies on them: a box lent to the main
// window stays lent when the bench closes, Cancel and close start nothing
// again, a job's result stands beside the live state, a job that cannot
// serve every box is refused before any box is asked, ports plugged in or
// added while it runs get rows, and a question outlives a row it named.

#include "BenchTestSupport.h"

#include "ExampleSetup.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <QLabel>

#include <filesystem>

namespace {

bool OnlyPolled(const EmulatedSimulator& box) {
    const Lines c = Commands(box.Log());
    return std::all_of(c.begin(), c.end(), [](const auto& l) { return l == "!S"; });
}

std::string LastJob(const Bench& bench, const std::string& port) {
    return bench.Cell(bench.RowOf(port), TBenchWindow::ColLastJob);
}

}  // namespace

TEST(BenchRows, LentBoxStaysWithTheMainWindowWhenTheBenchCloses) {
    Bench bench({Box("KN1", 6)});
    EmulatedSimulator& box = *bench.boxes[0];
    ASSERT_TRUE(bench.WaitState(box.PortPath(), "ready"));
    bench.Table().setCurrentCell(0, 0);
    bench.Trigger("BenchOpenMain");  // Enter on the row
    ASSERT_TRUE(WaitWithEvents([&] { return !bench.opened.empty(); }));
    box.ClearLog();
    bench.window->close();
    bench.window.reset();
    Pump(1500);
    EXPECT_TRUE(Commands(box.Log()).empty());  // the port left to the main window
    bench.closeMain();  // the main window ends after the bench: nothing to take back
}

TEST(BenchRows, CancelThenCloseSearchesNoBoxAgain) {
    BenchDialogs dialogs;
    dialogs.ConfirmForcedUpdate = [](QWidget&, int) { return true; };
    Bench bench({Box("KN1", 6), Box("KN2", 3)}, {}, dialogs);
    for (auto& box : bench.boxes) ASSERT_TRUE(bench.WaitState(box->PortPath(), "ready"));
    bench.Trigger("BenchForceUpdate");
    for (auto& box : bench.boxes) ASSERT_TRUE(bench.WaitState(box->PortPath(), "waiting for the reset button"));
    for (auto& box : bench.boxes) box->ClearLog();
    bench.Trigger("BenchCancel");
    bench.window->close();
    ASSERT_TRUE(WaitWithEvents([&] { return !bench.window->isVisible(); }, 20000));
    Pump(1000);
    for (auto& box : bench.boxes) {
        const Lines c = Commands(box->Log());
        EXPECT_EQ(std::find(c.begin(), c.end(), "!I"), c.end()) << box->PortPath();
    }
}

TEST(BenchRows, FailedJobShowsBesideTheLiveStateUntilTheNextJob) {
    EmulatorOptions refusing = Box("KN1", 3);
    refusing.Faults.RefuseProtocol = true;
    BenchDialogs dialogs;
    dialogs.ApplyFile = [](QWidget&) { return QString::fromStdString(ExampleFile()); };
    const TempFolder saved;
    dialogs.SavePattern = [&saved](QWidget&) { return QString::fromStdString(saved / "{serial}"); };
    Bench bench({refusing}, {}, dialogs);
    const std::string port = bench.boxes[0]->PortPath();
    ASSERT_TRUE(bench.WaitState(port, "ready"));
    bench.Trigger("BenchApply");
    ASSERT_TRUE(bench.WaitIdle());
    EXPECT_TRUE(LastJob(bench, port).starts_with("failed: ")) << LastJob(bench, port);
    EXPECT_TRUE(bench.WaitState(port, "ready"));  // polled fine meanwhile
    EXPECT_TRUE(LastJob(bench, port).starts_with("failed: "));
    bench.Trigger("BenchSave");
    ASSERT_TRUE(bench.WaitIdle());
    EXPECT_TRUE(WaitWithEvents([&] { return LastJob(bench, port) == "done"; }));
}

TEST(BenchRows, JobThatCannotServeTheBoxesIsRefusedBeforeAnyIsAsked) {
    const TempFolder folder;
    WriteFile(folder / "bad.kns", "<CONFIG><Protocol>x");
    const struct {
        const char* action;
        std::string file;
        std::string refusal;
    } cases[] = {
        {"BenchSave", folder / "bench.kns", "every simulator would write the same file; put {serial} or {port} in its name"},
        {"BenchApply", folder / "bad.kns", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        BenchDialogs dialogs;
        dialogs.SavePattern = dialogs.ApplyFile = [&c](QWidget&) { return QString::fromStdString(c.file); };
        Bench bench({Box("KN1", 6), Box("KN2", 3)}, {}, dialogs);
        for (auto& box : bench.boxes) ASSERT_TRUE(bench.WaitState(box->PortPath(), "ready"));
        for (auto& box : bench.boxes) box->ClearLog();
        bench.Trigger(c.action);
        ASSERT_EQ(bench.refused.size(), 1u);
        if (!c.refusal.empty()) {
            EXPECT_EQ(bench.refused[0], c.refusal);
        }
        EXPECT_FALSE(bench.window->Busy());
        Pump(1200);
        for (auto& box : bench.boxes) EXPECT_TRUE(OnlyPolled(*box)) << box->PortPath();
        EXPECT_FALSE(std::filesystem::exists(folder / "bench.kns"));
    }
}

// Without named ports, the machine's list is read again: a port plugged in
// gets a row, one unplugged that never held a box loses it, a box unplugged
// stays as "gone".
TEST(BenchRows, PortsPluggedInAndOutWhileTheBenchRuns) {
    const TempFolder folder;
    const std::string missing = folder / "ttyUSB7";
    auto listed = std::make_shared<std::vector<std::string>>();
    BenchDialogs dialogs;
    dialogs.ListPorts = [listed] { return *listed; };
    Bench bench({}, {}, dialogs, true);
    auto* apply = bench.window->findChild<QAction*>(QStringLiteral("BenchApply"));
    EXPECT_FALSE(apply->isEnabled());  // no row to act on

    // A name of its own: a pseudo-terminal's number is soon another's.
    EmulatorOptions o = Box("KNP1", 6);
    o.LinkPath = folder / "ttyUSB0";
    const std::string port = o.LinkPath;
    EmulatedSimulator box(o);
    box.Start();
    *listed = {port, missing};
    ASSERT_TRUE(bench.WaitState(port, "ready", 3000 + TBenchWindow::RescanMs + 5000));
    EXPECT_TRUE(bench.WaitState(missing, "gone"));
    EXPECT_TRUE(apply->isEnabled());

    box.Stop();
    *listed = {};
    ASSERT_TRUE(WaitWithEvents([&] { return bench.RowOf(missing) < 0; }, TBenchWindow::RescanMs + 5000));
    EXPECT_TRUE(bench.WaitState(port, "gone"));
    Pump(TBenchWindow::RescanMs + 500);
    EXPECT_EQ(bench.State(port), "gone");
}

TEST(BenchRows, AddedPortIsSearchedAndKeptForTheNextStart) {
    EmulatedSimulator box(Box("KNA9", 6));
    box.Start();
    std::vector<std::string> kept;
    BenchDialogs dialogs;
    dialogs.AddPort = [&box](QWidget&) { return QString::fromStdString(box.PortPath()); };
    dialogs.KeepAdded = [&kept](const std::string& port) { kept.push_back(port); };
    Bench bench({}, {}, dialogs);
    bench.Trigger("BenchAddPort");
    EXPECT_TRUE(bench.WaitState(box.PortPath(), "ready"));
    EXPECT_EQ(bench.Cell(bench.RowOf(box.PortPath()), TBenchWindow::ColSerial), "KNA9");
    EXPECT_EQ(kept, Lines{box.PortPath()});
    bench.Trigger("BenchAddPort");  // once is enough
    EXPECT_EQ(bench.Table().rowCount(), 1);
}

// The row of a port that leaves while "Force update..." asks is not used.
TEST(BenchRows, QuestionOutlivesARowItNamed) {
    const TempFolder folder;
    const std::string missing = folder / "ttyUSB3";
    EmulatedSimulator box(Box("KN1", 6));
    box.Start();
    auto listed = std::make_shared<std::vector<std::string>>(Lines{box.PortPath(), missing});
    BenchDialogs dialogs;
    dialogs.ListPorts = [listed] { return *listed; };
    Bench* running = nullptr;
    dialogs.ConfirmForcedUpdate = [&](QWidget&, int count) {
        EXPECT_EQ(count, 2);
        *listed = {box.PortPath()};
        EXPECT_TRUE(WaitWithEvents([&] { return running->RowOf(missing) < 0; }, TBenchWindow::RescanMs + 5000));
        return true;
    };
    Bench bench({}, *listed, dialogs, true);
    running = &bench;
    ASSERT_TRUE(bench.WaitState(box.PortPath(), "ready"));
    ASSERT_TRUE(bench.WaitState(missing, "gone"));
    bench.Trigger("BenchForceUpdate");
    EXPECT_TRUE(bench.WaitState(box.PortPath(), "waiting for the reset button"));
    auto* summary = bench.window->findChild<QLabel*>(QStringLiteral("BenchSummary"));
    EXPECT_FALSE(summary->text().contains(QString::fromStdString(missing)));
    bench.Trigger("BenchCancel");
    EXPECT_TRUE(bench.WaitIdle());
}

// A main window that cannot be started gives the port back at once and says
// why; the ports added are kept in the settings file, each once.
TEST(BenchRows, MainWindowThatCannotStartAndPortsKeptInTheSettings) {
    const TempFolder folder;
    const std::string settings = folder / "KNSimTool.ini";
    BenchDialogs real = StandardBenchDialogs(QStringLiteral("/nonexistent/knsimtool"), settings);
    for (const char* port : {"ttyUSB4", "tcp://rack:7000", "ttyUSB4"}) real.KeepAdded(port);
    EXPECT_EQ(AddedBenchPorts(settings), (Lines{"ttyUSB4", "tcp://rack:7000"}));

    BenchDialogs dialogs;
    dialogs.OpenMain = real.OpenMain;
    Bench bench({Box("KN1", 6)}, {}, dialogs);
    const std::string port = bench.boxes[0]->PortPath();
    ASSERT_TRUE(bench.WaitState(port, "ready"));
    emit bench.Table().cellDoubleClicked(bench.RowOf(port), 0);
    EXPECT_TRUE(WaitWithEvents([&] { return LastJob(bench, port).starts_with("the main window cannot be started: "); }))
        << LastJob(bench, port);
    EXPECT_TRUE(bench.WaitState(port, "ready"));
}
