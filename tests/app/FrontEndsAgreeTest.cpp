// The window and the command line apply a configuration file alike: opening
// it in the window and "knsimtool-cli apply" put the lines written out here
// on the simulator's wire, from a simulator in the same state.

#include "AppTestSupport.h"

#include "app/uFileIo.h"

#include "Child.h"
#include "ExampleSetup.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFileDialog>

#include <algorithm>

namespace {

using Lines = std::vector<std::string>;

// Protocol 6, one ECU, P0301 and P0420 on ECU 1.
EmulatorOptions OneEcu() {
    EmulatorOptions options;
    options.Codes1 = {0x0301, 0x0420};
    return options;
}

std::string Replaced(std::string text, const std::vector<std::pair<std::string, std::string>>& edits) {
    for (const auto& [from, to] : edits) text.replace(text.find(from), from.size(), to);
    return text;
}

Lines CommandLines(const std::vector<std::string>& log) {
    Lines lines;
    std::copy_if(log.begin(), log.end(), std::back_inserter(lines), [](const std::string& e) { return e[0] == '!'; });
    return lines;
}

}  // namespace

TEST(FrontEnds, OpenInTheWindowAndApplySendTheSameLines) {
    const std::string example = ReadFile(ExampleFile());  // protocol 6, two ECUs
    // The two tables as the simulator is to receive them: ECU 1 at 0x0142
    // (P0301, P0420), ECU 2 at 0x0156 (U0100).
    const std::string ecu1 = "!X01420301042000000000000000000000000000000000";
    const std::string ecu2 = "!X0156C100000000000000000000000000000000000000";
    const struct {
        const char* name;
        std::string text;
        Lines wire;  // what opening the file puts on the simulator's line
    } files[] = {
        {"example", example, {"!P86", "!S", "!C", "!K1", ecu1, ecu2, "!F1281"}},
        {"changed protocol", Replaced(example, {{"<Protocol>6<", "<Protocol>3<"}, {"<EcuCount>2<", "<EcuCount>1<"}}),
         {"!P03", "!S", "!C", "!K1", ecu1, ecu2, "!F1281"}},
        // Slot 2 without an integer category and slot 5 without any stay as
        // the simulator has them; protocol and ECU count are the simulator's
        // already: no "!P".
        {"unusable slots",
         Replaced(example, {{"<EcuCount>2<", "<EcuCount>1<"}, {"<P02>0</P02>", "<P02>x</P02>"}, {"<P05>0</P05>", ""}}),
         {ecu1, ecu2, "!F1281"}},
        // Three codes counted on ECU 2, P1234 in ECU 1's third slot.
        {"two ECUs with codes on both",
         Replaced(example, {{"<Protocol>6<", "<Protocol>8<"}, {"<Count>1<", "<Count>3<"}, {"<D03>0000<", "<D03>1234<"}}),
         {"!P88", "!S", "!C", "!K1", "!X01420301042012340000000000000000000000000000", ecu2, "!F3281"}},
    };
    const TempFolder folder;
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const std::string path = folder / (std::string(file.name) + ".kns");
        WriteFile(path, file.text);

        AppHarness app(OneEcu());
        app.StartConnected();
        ASSERT_EQ(app.Main().State(), SchedulerState::Polling);
        app.Forms().FileIo().SetDialogRunner([&](QFileDialog&, const QString&) { return QString::fromStdString(path); });
        app.Emulator().ClearLog();
        app.Main().findChild<QAction*>(QStringLiteral("MnuOpenCfg"))->trigger();
        EXPECT_EQ(app.Commands(), file.wire);

        EmulatedSimulator simulator(OneEcu());
        simulator.Start();
        const auto cli = RunCli({"--port", simulator.PortPath(), "apply", path});
        ASSERT_EQ(cli.Status, 0) << cli.Err;
        // The command line connects first, and reads back and leaves remote mode after.
        Lines expected = {"!I", "!B", "!S", "!C", "!K1"};
        expected.insert(expected.end(), file.wire.begin(), file.wire.end());
        expected.insert(expected.end(), {"!S", "!C", "!K1", "!K0"});
        EXPECT_EQ(CommandLines(simulator.Log()), expected);
    }
}
