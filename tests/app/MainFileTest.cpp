// "Open configuration..." and "Save configuration..." through the main
// window's own menu against the emulated simulator: what the editor shows
// after an open, and the file a save writes.

#include "AppTestSupport.h"

#include "app/EditorPanel.h"
#include "Controls.h"

#include "app/CodeEdit.h"
#include "app/uFileIo.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>

#include <algorithm>
#include <sstream>

namespace {

using Lines = std::vector<std::string>;

struct Slot {
    int category;
    const char* code;
};

struct FileSetUp {
    int protocol, ecus;
    bool mil;
    int count1, count2;
    std::vector<Slot> ecu1, ecu2;  // the first slots; the rest are P 0000
};

// A configuration file exactly as the tool lays one out.
std::string KnsText(const FileSetUp& s) {
    std::ostringstream out;
    auto line = [&](int indent, const std::string& text) { out << std::string(2 * indent, ' ') << text << "\r\n"; };
    auto leaf = [&](int indent, const std::string& name, const std::string& value) {
        line(indent, "<" + name + ">" + value + "</" + name + ">");
    };
    line(0, "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>");
    line(0, "<CONFIG>");
    leaf(1, "Version", "120");
    line(1, "<Global>");
    leaf(2, "Protocol", std::to_string(s.protocol));
    leaf(2, "EcuCount", std::to_string(s.ecus));
    line(1, "</Global>");
    line(1, "<Dtc>");
    leaf(2, "MilOn", s.mil ? "TRUE" : "FALSE");
    for (int ecu = 1; ecu <= 2; ++ecu) {
        const std::string name = "Ecu" + std::to_string(ecu);
        line(2, "<" + name + ">");
        leaf(3, "Count", std::to_string(ecu == 1 ? s.count1 : s.count2));
        const auto& given = ecu == 1 ? s.ecu1 : s.ecu2;
        for (std::size_t n = 1; n <= 10; ++n) {
            const Slot slot = n <= given.size() ? given[n - 1] : Slot{0, "0000"};
            char number[3];
            std::snprintf(number, sizeof number, "%02zu", n);
            leaf(3, std::string("P") + number, std::to_string(slot.category));
            leaf(3, std::string("D") + number, slot.code);
        }
        line(2, "</" + name + ">");
    }
    line(1, "</Dtc>");
    line(0, "</CONFIG>");
    return out.str();
}

}  // namespace

TEST(MainFile, OpenSendsTheFileAndSaveWritesItBackByteForByte) {
    EmulatorOptions simulator;  // protocol 6, two ECUs
    simulator.TwoEcus = true;
    simulator.Codes1 = {0x0301};
    AppHarness app(simulator);
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_EQ(main.State(), SchedulerState::Polling);

    const TempFolder folder;
    QString chosen;
    app.Forms().FileIo().SetDialogRunner([&](QFileDialog&, const QString&) { return chosen; });
    auto open = [&](const std::string& name, const FileSetUp& setUp) {
        chosen = QString::fromStdString(folder / name);
        WriteFile(chosen.toStdString(), KnsText(setUp));
        app.Emulator().ClearLog();
        Control<QAction>(main, "MnuOpenCfg")->trigger();
        return app.Commands();
    };

    // Another protocol: the simulator is read back, then the file's codes
    // show over what the read showed (the lines on the wire are those of the
    // command line's apply, FrontEndsAgreeTest).
    const FileSetUp changed{3, 2, false, 3, 1, {{1, "0123"}, {3, "3FFF"}, {2, "0420"}}, {{0, "0100"}}};
    const Lines sent = open("changed.kns", changed);
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.front(), "!P83");

    EXPECT_EQ(Control<QComboBox>(main, "cbActProto")->currentText(), QStringLiteral("3 - ISO9141"));
    EXPECT_EQ(Control<QComboBox>(main, "cbEcuCount")->currentText(), QStringLiteral("2"));
    EXPECT_FALSE(Control<QCheckBox>(main, "chkMilOn")->isChecked());
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc1")->currentIndex(), 3);
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc2")->currentIndex(), 1);
    const std::tuple<int, int, const char*, std::string> shown[] = {
        {1, 1, "C", "0123"}, {1, 2, "U", "3FFF"}, {1, 3, "B", "0420"}, {1, 4, "P", "0000"},
        {1, 10, "P", "0000"}, {2, 1, "P", "0100"}, {2, 10, "P", "0000"}};
    for (const auto& [ecu, slot, category, code] : shown) {
        EXPECT_EQ(main.Editor().CategoryControl(ecu, slot)->currentText(), QLatin1String(category)) << ecu << "/" << slot;
        EXPECT_EQ(main.Editor().CodeControl(ecu, slot)->CodeText(), code) << ecu << "/" << slot;
    }
    EXPECT_EQ(Control<QLabel>(main, "sBarPanel1")->text(), QStringLiteral("changed.kns"));

    // Saved under a new name, the file is the one that was opened.
    chosen = QString::fromStdString(folder / "saved.kns");
    Control<QAction>(main, "MnuSaveCfg")->trigger();
    EXPECT_EQ(ReadFile(chosen.toStdString()), KnsText(changed));
    EXPECT_EQ(Control<QLabel>(main, "sBarPanel1")->text(), QStringLiteral("saved.kns"));
}

// What the user sees during an open: the file on the editor first, then the
// protocol change, then "Sending data to KARNOL simulator" with the file
// still on view.
TEST(MainFile, OpenShowsTheFileBeforeItIsSent) {
    EmulatorOptions simulator;  // protocol 6, two ECUs, MIL off
    simulator.TwoEcus = true;
    simulator.Codes1 = {0x0301};
    AppHarness app(simulator);
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_EQ(main.State(), SchedulerState::Polling);

    const TempFolder folder;
    const QString chosen = QString::fromStdString(folder / "order.kns");
    WriteFile(chosen.toStdString(), KnsText({3, 2, true, 2, 1, {{1, "0123"}, {3, "3FFF"}}, {{2, "0420"}}}));
    app.Forms().FileIo().SetDialogRunner([&](QFileDialog&, const QString&) { return chosen; });
    app.Emulator().ClearLog();

    auto logged = [&](const std::string& prefix) {
        const Lines log = app.Emulator().Log();
        return std::any_of(log.begin(), log.end(), [&](const std::string& line) { return line.rfind(prefix, 0) == 0; });
    };
    auto* mil = Control<QCheckBox>(main, "chkMilOn");
    EditorPanel& editor = main.Editor();
    auto fileShown = [&] {
        return mil->isChecked() && Control<QComboBox>(main, "cbDtc1")->currentIndex() == 2 &&
               Control<QComboBox>(main, "cbDtc2")->currentIndex() == 1 &&
               editor.CategoryControl(1, 1)->currentText() == "C" && editor.CodeControl(1, 1)->CodeText() == "0123" &&
               editor.CategoryControl(1, 2)->currentText() == "U" && editor.CodeControl(1, 2)->CodeText() == "3FFF" &&
               editor.CategoryControl(2, 1)->currentText() == "B" && editor.CodeControl(2, 1)->CodeText() == "0420";
    };
    QStringList seen;  // the observable changes, in order
    QObject::connect(mil, &QCheckBox::toggled, [&](bool on) {
        if (on && seen.isEmpty()) seen << (logged("!P") ? "MIL shown after the change" : "MIL shown");
    });
    QObject::connect(&main, &TMain::StatusTextChanged, [&](const QString& text) {
        if (text != QStringLiteral("Sending data to KARNOL simulator")) return;
        seen << QStringLiteral("sending");
        if (fileShown()) seen << QStringLiteral("file on view");
        if (logged("!P83") && !logged("!X")) seen << QStringLiteral("after the change, before the tables");
    });

    Control<QAction>(main, "MnuOpenCfg")->trigger();
    EXPECT_EQ(seen.join(" | ").toStdString(), "MIL shown | sending | file on view | after the change, before the tables");
    EXPECT_TRUE(fileShown());
    EXPECT_TRUE(logged("!F"));
}
