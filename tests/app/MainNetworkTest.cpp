// The window with a simulator behind a serial device server: started with
// the server's address, polling through it, and the server going away.

#include "AppTestSupport.h"
#include "Controls.h"
#include "Ser2net.h"

#include "link/uComIo.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTimer>

namespace {

QStringList Items(const QComboBox* combo) {
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
    return items;
}

int LineFailures(const QStringList& texts) {
    int n = 0;
    for (const QString& t : texts)
        if (t.startsWith(QStringLiteral("ReadFile function failed")) || t.startsWith(QStringLiteral("WriteFile function failed")))
            ++n;
    return n;
}

TEST(MainNetwork, PollsThroughTheServerAndShowsItsEndOnce) {
    AppHarness app;
    app.SetPorts({"knsnone1"});
    Ser2net server(app.Port());
    TStartOptions options;
    options.Port = server.RfcName();
    app.StartConnected(options);
    EXPECT_EQ(Control<QComboBox>(app.Main(), "cbPorts")->currentText().toStdString(), server.RfcName());
    ASSERT_TRUE(app.WaitForCommand("!S"));

    server.Stop();
    ASSERT_TRUE(WaitWithEvents([&] { return !app.Forms().ComIo().PortOpen(); }, 8000))
        << app.StatusTexts.join('|').toStdString();
    EXPECT_EQ(LineFailures(app.StatusTexts), 1) << app.StatusTexts.join('|').toStdString();
    // Later polls leave the closed port alone: no new failure.
    EXPECT_FALSE(WaitWithEvents([&] { return LineFailures(app.StatusTexts) > 1; }, 2500))
        << app.StatusTexts.join('|').toStdString();
    EXPECT_TRUE(app.ErrorBoxes.isEmpty()) << app.ErrorBoxes.join('|').toStdString();
}

TEST(MainNetwork, SavedOrTypedServerAddressIsOfferedAndSearched) {
    // Only the typed address leads to the simulator: a search of the saved
    // one where the typed one was meant (or the other way round) shows.
    AppHarness app;
    Ser2net server(app.Port());
    const QString saved = QStringLiteral("tcp://127.0.0.1:%1").arg(FreeLoopbackPort());
    const QString typed = QString::fromStdString(server.RfcName());
    app.SetPorts({"knsnone1"});
    app.WriteSettings("[CONFIG]\r\nComPort=" + saved.toStdString() + "\r\n");
    app.Start();
    QComboBox* ports = Control<QComboBox>(app.Main(), "cbPorts");
    EXPECT_EQ(ports->currentText(), saved);
    EXPECT_EQ(ports->count(), 2);
    // Nobody listens there: the text of a missing port, and the simulator
    // behind the other address heard nothing.
    ASSERT_TRUE(WaitWithEvents([&] { return app.StatusTexts.contains(QStringLiteral("Unable to open com port (win error code: 2)")); }))
        << app.StatusTexts.join('|').toStdString();
    EXPECT_TRUE(app.Log().empty());

    app.StatusTexts.clear();
    ports->lineEdit()->setText(typed);
    emit ports->lineEdit()->returnPressed();  // the user's Enter
    EXPECT_EQ(ports->currentText(), typed);
    EXPECT_TRUE(WaitWithEvents([&] { return app.Main().State() == SchedulerState::Polling; }, 10000))
        << app.StatusTexts.join('|').toStdString();
    EXPECT_TRUE(app.WaitForCommand("!S"));
    EXPECT_FALSE(app.StatusTexts.contains(QStringLiteral("Unable to open com port (win error code: 2)")))
        << app.StatusTexts.join('|').toStdString();
    app.Main().cbPortsDropDown();
    EXPECT_TRUE(Items(ports).contains(typed));
    EXPECT_EQ(ports->currentText(), typed);
}

// A server that accepts and never answers: while the window waits for it, it
// says what it waits for and goes on handling its events, and a close request
// ends the wait and the window.
TEST(MainNetwork, ConnectWaitStaysAliveAndGivesWayToAClose) {
    SilentListener silent;
    AppHarness app;
    app.SetPorts({"knsnone1"});
    TStartOptions options;
    options.Port = "rfc2217://127.0.0.1:" + std::to_string(silent.Port());
    const QString waiting = QStringLiteral("Connecting to 127.0.0.1:%1...").arg(silent.Port());
    bool closed = false;
    int ticksWhileWaiting = 0;
    QTimer ticker;
    ticker.setInterval(20);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (app.StatusTexts.isEmpty() || app.StatusTexts.last() != waiting) return;
        if (++ticksWhileWaiting == 3) app.Main().close();
    });
    ticker.start();
    app.Start(options);
    QObject::connect(&app.Main(), &TMain::Closed, [&] { closed = true; });
    ASSERT_TRUE(WaitWithEvents([&] { return closed; })) << app.StatusTexts.join('|').toStdString();
    EXPECT_TRUE(app.StatusTexts.contains(waiting)) << app.StatusTexts.join('|').toStdString();
    EXPECT_GE(ticksWhileWaiting, 3);
    EXPECT_TRUE(app.ErrorBoxes.isEmpty()) << app.ErrorBoxes.join('|').toStdString();
}

}  // namespace
