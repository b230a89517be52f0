// The port selector's edit field: typed text counts only once Enter confirms
// it, and waits in the field (with a hint in the tool tip) while the user
// looks elsewhere; the port searched and the port saved at Exit are always
// the selected entry; confirmed names stay offered beside the start
// option's, each once.

#include "AppTestSupport.h"
#include "Controls.h"

#include <gtest/gtest.h>

#include <QtTest/QTest>

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFocusEvent>
#include <QLabel>
#include <QLineEdit>

#include <algorithm>

namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

bool Logged(const EmulatedSimulator& simulator, const std::string& command) {
    const auto log = simulator.Log();
    return std::find(log.begin(), log.end(), command) != log.end();
}

enum class Leave { Escape, FocusOut, ListClosed, ListChoice, Enter, StaysInTheField };

const QString Hint = QStringLiteral("Press Enter to use this port");

void Type(QComboBox* ports, const QString& text, Leave leave) {
    ports->lineEdit()->setText(text);
    switch (leave) {
        case Leave::Escape:
            QTest::keyClick(ports, Qt::Key_Escape);
            break;
        case Leave::FocusOut: {
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QApplication::sendEvent(ports, &out);
            break;
        }
        case Leave::ListClosed:  // F4 opens the list, Escape closes it
        case Leave::ListChoice:  // Enter in the list picks the entry it opened on
            QTest::keyClick(ports, Qt::Key_F4);
            ASSERT_TRUE(ports->view()->isVisible());
            QTest::keyClick(ports->view(), leave == Leave::ListClosed ? Qt::Key_Escape : Qt::Key_Return);
            ASSERT_FALSE(ports->view()->isVisible());
            break;
        case Leave::Enter:
            QTest::keyClick(ports, Qt::Key_Return);
            break;
        case Leave::StaysInTheField:  // Reload data and Exit need not take the focus
            break;
    }
}

}  // namespace

TEST(MainPorts, OnlyConfirmedTypingIsSearchedAndSaved) {
    struct Case {
        const char* name;
        Leave leave;
        bool typedIsUsed;
        bool typedIsShown;  // and, when it is not used, the hint with it
    };
    const Case cases[] = {
        {"Escape", Leave::Escape, false, false},
        {"focus out", Leave::FocusOut, false, true},
        {"list opened and closed", Leave::ListClosed, false, true},
        {"listed entry picked from the list", Leave::ListChoice, false, false},
        {"Enter", Leave::Enter, true, true},
        {"left in the field", Leave::StaysInTheField, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmulatorOptions typedOptions;
        typedOptions.Serial = "TYPED";
        EmulatedSimulator typedSimulator(typedOptions);
        typedSimulator.Start();
        AppHarness app;  // lists only its own simulator
        app.StartConnected();
        TMain& main = app.Main();
        ASSERT_EQ(main.State(), SchedulerState::Polling);
        auto* ports = Control<QComboBox>(main, "cbPorts");
        const QString listed = QString::fromStdString(app.Port());
        const QString typed = QString::fromStdString(typedSimulator.PortPath());

        auto* status = Control<QLabel>(main, "sBarPanel0");
        const QString statusBefore = status->text();
        Type(ports, typed, c.leave);
        const QString expected = c.typedIsUsed ? typed : listed;
        EXPECT_EQ(ports->currentText(), c.typedIsShown ? typed : listed);
        const bool waiting = c.typedIsShown && !c.typedIsUsed;
        EXPECT_EQ(ports->toolTip().contains(Hint), waiting) << ports->toolTip().toStdString();
        EXPECT_TRUE(ports->toolTip().startsWith(c.typedIsShown ? typed : listed)) << ports->toolTip().toStdString();
        // The hint is the field's own: the status text stays the link's.
        if (waiting) {
            EXPECT_EQ(status->text(), statusBefore);
        }

        // Reload data searches the selected entry.
        app.Emulator().ClearLog();
        typedSimulator.ClearLog();
        Control<QAction>(main, "MnuReload")->trigger();
        EmulatedSimulator& searched = c.typedIsUsed ? typedSimulator : app.Emulator();
        EmulatedSimulator& other = c.typedIsUsed ? app.Emulator() : typedSimulator;
        ASSERT_TRUE(WaitWithEvents([&] { return main.State() == SchedulerState::Polling && Logged(searched, "!S"); }));
        EXPECT_EQ(Control<QLabel>(main, "LabSerial")->text(), c.typedIsUsed ? "TYPED" : "KNEMU0001");
        EXPECT_FALSE(Logged(other, "!I"));

        // Unconfirmed typing just before Exit is not what is saved either.
        Type(ports, QStringLiteral("knsnone-unconfirmed"), Leave::StaysInTheField);
        Control<QAction>(main, "MnuExit")->trigger();
        ASSERT_TRUE(WaitWithEvents([&] { return !main.isVisible(); }));
        EXPECT_NE(app.SettingsText().find("ComPort=" + expected.toStdString() + "\r\n"), std::string::npos)
            << app.SettingsText();
        typedSimulator.Stop();
    }
}

TEST(MainPorts, TypedNamesAndTheStartOptionStayOfferedOnceAfterTheListedPorts) {
    // Names of ports that do not exist: every search fails at once.
    AppHarness app;
    app.SetPorts({"knsnone10", "knsnone2"});
    TStartOptions options;
    options.Port = "knsextra10";
    app.Start(options);
    auto* ports = Control<QComboBox>(app.Main(), "cbPorts");
    ASSERT_EQ(ports->currentText(), QStringLiteral("knsextra10"));

    Type(ports, QStringLiteral("KnsExtra9"), Leave::Enter);
    EXPECT_EQ(ports->currentText(), QStringLiteral("KnsExtra9"));
    // Names already offered, in another letter case: picked, not added.
    Type(ports, QStringLiteral("KNSEXTRA10"), Leave::Enter);
    EXPECT_EQ(ports->currentText(), QStringLiteral("knsextra10"));
    Type(ports, QStringLiteral("knsextra9"), Leave::Enter);
    EXPECT_EQ(ports->currentText(), QStringLiteral("KnsExtra9"));

    const QStringList offered{"knsnone2", "knsnone10", "KnsExtra9", "knsextra10"};
    EXPECT_EQ(Items(ports), offered);
    app.Main().cbPortsDropDown();  // filled again from the system's list
    EXPECT_EQ(Items(ports), offered);
    EXPECT_EQ(ports->currentText(), QStringLiteral("KnsExtra9"));
}
