// The status display and the trouble-code editor against the emulated
// simulator: what a configuration read shows, the count selectors, SEND and
// the protocol selectors, checked on the wire.

#include "AppTestSupport.h"
#include "Controls.h"

#include "app/CodeEdit.h"
#include "app/EditorPanel.h"
#include "app/SevenSegmentDigit.h"
#include "emu/EmulatorArgs.h"

#include "ExampleSetup.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetricsF>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include <algorithm>
#include <optional>

namespace {

using Lines = std::vector<std::string>;

// The simulator holds the example set-up.
EmulatorOptions DemoSetUp() { return ParseEmulatorArgs(ExampleEmulatorArgs()).Options; }

// The user picks an item: the selector changes and tells its handler.
void Pick(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

Lines CommandsFrom(const Lines& commands, const std::string& first) {
    const auto start = std::find(commands.begin(), commands.end(), first);
    return {start, commands.end()};
}

bool HasCommandStartingWith(const Lines& commands, const std::string& prefix) {
    return std::any_of(commands.begin(), commands.end(),
                       [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
}

}  // namespace

TEST(MainEditor, ShowsTheSimulatorsSetUp) {
    AppHarness app(DemoSetUp());
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_EQ(main.State(), SchedulerState::Polling);

    EXPECT_EQ(Control<QComboBox>(main, "cbActProto")->currentText(), QStringLiteral("6 - CAN 11/500"));
    EXPECT_EQ(Control<QComboBox>(main, "cbEcuCount")->currentText(), QStringLiteral("2"));
    EXPECT_EQ(Control<SevenSegmentDigit>(main, "Seg7")->Value(), 6);
    EXPECT_TRUE(Control<SevenSegmentDigit>(main, "Seg7")->isVisibleTo(&main));
    EXPECT_EQ(Control<SevenSegmentDigit>(main, "Seg7")->size(), QSize(30, 44));
    EXPECT_TRUE(Control<QLabel>(main, "ImgMilOn")->isVisibleTo(&main));
    EXPECT_FALSE(Control<QLabel>(main, "ImgMilOff")->isVisibleTo(&main));
    EXPECT_EQ(Control<QLabel>(main, "DtcLabel")->text(), QStringLiteral("3"));
    EXPECT_EQ(Control<QGroupBox>(main, "GrpDtc1")->title(), QStringLiteral("Fehlercodes ECU1 ($7E8)"));
    EXPECT_EQ(Control<QGroupBox>(main, "GrpDtc2")->title(), QStringLiteral("Fehlercodes ECU2 ($7E9)"));
    EXPECT_TRUE(Control<QGroupBox>(main, "GrpDtc2")->isVisibleTo(&main));
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc1")->currentIndex(), 2);
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc2")->currentIndex(), 1);
    EXPECT_TRUE(Control<QCheckBox>(main, "chkMilOn")->isChecked());

    struct Slot {
        int ecu, slot;
        QString category;
        std::string code;
    };
    const Slot expectedSlots[] = {{1, 1, "P", "0301"}, {1, 2, "P", "0420"}, {1, 3, "P", "0000"},
                          {1, 10, "P", "0000"}, {2, 1, "U", "0100"}, {2, 10, "P", "0000"}};
    for (const Slot& s : expectedSlots) {
        EXPECT_EQ(main.Editor().CategoryControl(s.ecu, s.slot)->currentText(), s.category) << s.ecu << "/" << s.slot;
        EXPECT_EQ(main.Editor().CodeControl(s.ecu, s.slot)->CodeText(), s.code) << s.ecu << "/" << s.slot;
    }
    EXPECT_EQ(main.Editor().CategoryControl(3, 1), nullptr);
    EXPECT_EQ(main.Editor().CodeControl(1, 11), nullptr);

    // Each slot's label "n:" ends before its category selector and its text
    // fits the label, "10:" included, whatever face stands in for Tahoma.
    for (QGroupBox* group : {Control<QGroupBox>(main, "GrpDtc1"), Control<QGroupBox>(main, "GrpDtc2")}) {
        const int ecu = group == Control<QGroupBox>(main, "GrpDtc1") ? 1 : 2;
        for (int slot = 1; slot <= 10; ++slot) {
            const QString text = QStringLiteral("%1:").arg(slot);
            QLabel* label = nullptr;
            for (QLabel* l : group->findChildren<QLabel*>())
                if (l->text() == text) label = l;
            ASSERT_NE(label, nullptr) << text.toStdString();
            const QRect selector = main.Editor().CategoryControl(ecu, slot)->geometry();
            EXPECT_LE(label->geometry().right(), selector.left() - 1) << text.toStdString();
            EXPECT_LE(QFontMetricsF(label->font()).horizontalAdvance(text), label->width()) << text.toStdString();
            EXPECT_EQ(label->x(), selector.left() - 16) << text.toStdString();
        }
    }

    // One ECU: the second group hides; the MIL lamp follows the status.
    DeviceState state = app.Emulator().State();
    state.SecondEcu = false;
    state.MilOn = false;
    state.CodeCounts = 0x02;
    app.Emulator().SetState(state);
    main.RestartPortClick();
    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling; }));
    EXPECT_FALSE(Control<QGroupBox>(main, "GrpDtc2")->isVisibleTo(&main));
    EXPECT_FALSE(Control<QLabel>(main, "ImgMilOn")->isVisibleTo(&main));
    EXPECT_TRUE(Control<QLabel>(main, "ImgMilOff")->isVisibleTo(&main));
    EXPECT_FALSE(Control<QCheckBox>(main, "chkMilOn")->isChecked());
    EXPECT_EQ(Control<QLabel>(main, "DtcLabel")->text(), QStringLiteral("2"));
}

TEST(MainEditor, GroupTitlesNameTheEcuIdentifiers) {
    struct Case {
        int protocol;
        std::uint8_t address1, address2;
        std::uint16_t can1, can2;
        QString title1, title2;
    };
    const Case cases[] = {
        {8, 0x10, 0x18, 0x07E8, 0x07E9, "Fehlercodes ECU1 ($7E8)", "Fehlercodes ECU2 ($7E9)"},
        {4, 0x10, 0x18, 0x07E8, 0x07E9, "Fehlercodes ECU1 ($10)", "Fehlercodes ECU2 ($18)"},
        {6, 0x10, 0x18, 0x0012, 0x0ABC, "Fehlercodes ECU1 ($012)", "Fehlercodes ECU2 ($ABC)"},
        {1, 0x0A, 0xF1, 0x07E8, 0x07E9, "Fehlercodes ECU1 ($0A)", "Fehlercodes ECU2 ($F1)"},
        {7, 0x33, 0x44, 0x07E8, 0x07E9, "Fehlercodes ECU1 ($33)", "Fehlercodes ECU2 ($44)"},  // 29-bit CAN
    };
    for (const Case& c : cases) {
        AppHarness app;
        DeviceState state = app.Emulator().State();
        state.Protocol = static_cast<std::uint8_t>(c.protocol);
        state.Config[kEcu1AddressOffset] = c.address1;
        state.Config[kEcu2AddressOffset] = c.address2;
        state.Config[kEcu1CanIdOffset] = static_cast<std::uint8_t>(c.can1 & 0xFF);
        state.Config[kEcu1CanIdOffset + 1] = static_cast<std::uint8_t>(c.can1 >> 8);
        state.Config[kEcu2CanIdOffset] = static_cast<std::uint8_t>(c.can2 & 0xFF);
        state.Config[kEcu2CanIdOffset + 1] = static_cast<std::uint8_t>(c.can2 >> 8);
        app.Emulator().SetState(state);
        app.StartConnected();
        EXPECT_EQ(Control<QGroupBox>(app.Main(), "GrpDtc1")->title(), c.title1) << "protocol " << c.protocol;
        EXPECT_EQ(Control<QGroupBox>(app.Main(), "GrpDtc2")->title(), c.title2) << "protocol " << c.protocol;
        EXPECT_EQ(Control<SevenSegmentDigit>(app.Main(), "Seg7")->Value(), c.protocol);
    }
}

TEST(MainEditor, CountChoiceTicksAndClearsMilOn) {
    AppHarness app;  // no codes, MIL off
    app.StartConnected();
    TMain& main = app.Main();
    ASSERT_FALSE(Control<QCheckBox>(main, "chkMilOn")->isChecked());

    Pick(Control<QComboBox>(main, "cbDtc1"), 3);
    EXPECT_TRUE(Control<QCheckBox>(main, "chkMilOn")->isChecked());
    Pick(Control<QComboBox>(main, "cbDtc2"), 2);
    Pick(Control<QComboBox>(main, "cbDtc1"), 0);
    EXPECT_TRUE(Control<QCheckBox>(main, "chkMilOn")->isChecked());  // ECU 2 still has codes
    Pick(Control<QComboBox>(main, "cbDtc2"), 0);
    EXPECT_FALSE(Control<QCheckBox>(main, "chkMilOn")->isChecked());

    // The user may change the box afterwards; a configuration read setting
    // the counts runs no handler, so the MIL shows as the simulator has it.
    Control<QCheckBox>(main, "chkMilOn")->setChecked(true);
    DeviceState state = app.Emulator().State();
    state.CodeCounts = 0x21;
    state.MilOn = false;
    app.Emulator().SetState(state);
    main.RestartPortClick();
    ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling; }));
    EXPECT_EQ(Control<QComboBox>(main, "cbDtc1")->currentIndex(), 1);
    EXPECT_FALSE(Control<QCheckBox>(main, "chkMilOn")->isChecked());
}

TEST(MainEditor, SendWritesBothTablesThenCountsAndMil) {
    AppHarness app(DemoSetUp());
    app.StartConnected();
    TMain& main = app.Main();

    auto set = [&](int ecu, int slot, int category, const std::string& code) {
        main.Editor().CategoryControl(ecu, slot)->setCurrentIndex(category);
        main.Editor().CodeControl(ecu, slot)->SetCodeText(code);
    };
    set(1, 1, 0, "0123");  // P0123 -> 01 23
    set(1, 2, 3, "3FFF");  // U3FFF -> FF FF
    set(1, 3, 1, "12  ");  // C with two positions typed -> 40 00
    set(1, 10, 2, "0123"); // B0123 -> 81 23
    set(2, 1, 1, "0123");  // C0123 -> 41 23
    Control<QComboBox>(main, "cbDtc1")->setCurrentIndex(2);
    Control<QComboBox>(main, "cbDtc2")->setCurrentIndex(10);
    Control<QCheckBox>(main, "chkMilOn")->setChecked(true);
    app.Emulator().ClearLog();
    // The status text is up before SEND disables itself and reads the controls.
    QPushButton* send = Control<QPushButton>(main, "ButSendDtc");
    std::optional<bool> enabledAtText;
    QObject::connect(&main, &TMain::StatusTextChanged, [&](const QString& text) {
        if (text == QStringLiteral("Sending data to KARNOL simulator") && !enabledAtText)
            enabledAtText = send->isEnabled();
    });

    send->click();
    EXPECT_FALSE(send->isEnabled());  // until the next status read
    EXPECT_EQ(enabledAtText, true);
    const Lines sent = app.Commands();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(sent[0], "!X0142" "0123" "FFFF" "4000" "0000" "0000" "0000" "0000" "0000" "0000" "8123");
    EXPECT_EQ(sent[1], "!X0156" "4123" "0000" "0000" "0000" "0000" "0000" "0000" "0000" "0000" "0000");
    EXPECT_EQ(sent[2], "!FA281");
    EXPECT_TRUE(main.Timer1().isActive());

    // The simulator now holds them, and the next status read enables SEND.
    ASSERT_TRUE(WaitWithEvents([&] { return send->isEnabled(); }));
    EXPECT_EQ(app.Emulator().State().Codes(1)[1], 0xFFFF);
    EXPECT_EQ(app.Emulator().State().CodeCounts, 0xA2);
    EXPECT_TRUE(app.Emulator().State().MilOn);
}

TEST(MainEditor, SendTakesCountsAndMilFromTheControls) {
    // The MIL byte follows the "MIL on" box as the user left it, not the
    // lamp the simulator last reported.
    const struct {
        bool reportedMil;
        int count1, count2;
        bool milBox;
        const char* counts;
    } cases[] = {
        {false, -1, 4, false, "!F4080"},  // no count selection counts as none
        {false, 0, 0, true, "!F0081"},
        {true, 2, 1, false, "!F1280"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.counts);
        EmulatorOptions options;
        options.Mil = c.reportedMil;
        AppHarness app(options);
        app.StartConnected();
        TMain& main = app.Main();
        ASSERT_EQ(Control<QCheckBox>(main, "chkMilOn")->isChecked(), c.reportedMil);
        Control<QComboBox>(main, "cbDtc1")->setCurrentIndex(c.count1);
        Control<QComboBox>(main, "cbDtc2")->setCurrentIndex(c.count2);
        Control<QCheckBox>(main, "chkMilOn")->setChecked(c.milBox);
        app.Emulator().ClearLog();
        main.ButSendDtcClick();
        const Lines sent = app.Commands();
        ASSERT_EQ(sent.size(), 3u);
        EXPECT_EQ(sent[2], c.counts);
    }
}

TEST(MainEditor, ProtocolChoiceIsSentOnlyWhenItChangesSomething) {
    AppHarness app(DemoSetUp());  // protocol 6, two ECUs
    app.StartConnected();
    TMain& main = app.Main();
    app.Emulator().ClearLog();

    // The same protocol and ECU count as reported: nothing to send.
    Pick(Control<QComboBox>(main, "cbActProto"), 5);
    Pick(Control<QComboBox>(main, "cbEcuCount"), 1);
    Pump(200);
    EXPECT_FALSE(HasCommandStartingWith(app.Commands(), "!P"));

    // A real change is sent and everything is read back.
    Pick(Control<QComboBox>(main, "cbActProto"), 2);  // protocol 3, still two ECUs
    const Lines change = CommandsFrom(app.Commands(), "!P83");
    ASSERT_GE(change.size(), 4u);
    EXPECT_EQ((Lines{change.begin(), change.begin() + 4}), (Lines{"!P83", "!S", "!C", "!K1"}));
    EXPECT_EQ(main.State(), SchedulerState::Polling);
    EXPECT_EQ(Control<SevenSegmentDigit>(main, "Seg7")->Value(), 3);
    EXPECT_EQ(Control<QComboBox>(main, "cbActProto")->currentIndex(), 2);

    app.Emulator().ClearLog();
    Pick(Control<QComboBox>(main, "cbEcuCount"), 0);  // one ECU
    EXPECT_FALSE(CommandsFrom(app.Commands(), "!P03").empty());
    EXPECT_FALSE(Control<QGroupBox>(main, "GrpDtc2")->isVisibleTo(&main));
}

TEST(MainEditor, ProtocolChoiceSendsNothingOutsidePollingOrWithoutSelection) {
    AppHarness app(DemoSetUp());
    app.StartConnected();
    TMain& main = app.Main();
    main.Timer1().stop();  // keep the scheduler out of the way
    app.Emulator().ClearLog();

    // Not polling (as after a failed configuration read).
    main.SetState(SchedulerState::Stopped);
    Pick(Control<QComboBox>(main, "cbActProto"), 0);
    EXPECT_TRUE(app.Commands().empty());

    // Polling, but one selector without a selection.
    main.SetState(SchedulerState::Polling);
    Control<QComboBox>(main, "cbEcuCount")->setCurrentIndex(-1);
    Pick(Control<QComboBox>(main, "cbActProto"), 0);
    EXPECT_TRUE(app.Commands().empty());
}

TEST(MainEditor, FileNamePanelShowsTheWholeNameOnHover) {
    AppHarness app;
    app.Start();
    const QString name = QStringLiteral("setup-for-the-bench-in-hall-3.kns");
    app.Main().ShowFileName(name);
    EXPECT_EQ(Control<QLabel>(app.Main(), "sBarPanel1")->text(), name);
    EXPECT_EQ(Control<QLabel>(app.Main(), "sBarPanel1")->toolTip(), name);
    EXPECT_EQ(Control<QLabel>(app.Main(), "sBarPanel1")->width(), 50);
}
