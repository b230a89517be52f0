// The window program, run as the real program runs, brought into one state
// (a window open, searching, polling) and then left to whatever signal the
// test sends. Prints "ready" once the state is reached.
//
//   window_signal_driver STATE PORT SETTINGS-FILE
//
// Only PORT is offered in the port list, so the run never touches the
// machine's own ports.

#include "app/ErrorBox.h"
#include "app/Forms.h"
#include "app/WindowProgram.h"
#include "app/uAbout.h"
#include "app/uDebug.h"
#include "app/uMain.h"
#include "app/uMessageBox.h"
#include "app/uUpdate.h"
#include "serial/ComPort.h"

#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

struct StateDef {
    std::function<void(TForms&)> Open;       // run once the scheduler polls; empty: nothing to open
    std::function<bool(TForms&)> Reached;
};

bool ActiveIs(const char* className) {
    const QWidget* modal = QApplication::activeModalWidget();
    return modal && modal->isVisible() && modal->inherits(className);
}

bool searchSeen = false;

const std::map<std::string, StateDef>& States() {
    static const std::map<std::string, StateDef> states = {
        {"polling", {nullptr, [](TForms& f) { return f.Main().State() == SchedulerState::Polling; }}},
        // Seen as the text is set: the search then waits for the reply
        // without running the event loop.
        {"searching", {nullptr, [](TForms&) { return searchSeen; }}},
        {"about", {[](TForms& f) { f.Main().MnuAboutClick(); }, [](TForms&) { return ActiveIs("TAbout"); }}},
        {"open_dialog", {[](TForms& f) { f.Main().MnuOpenCfgClick(); }, [](TForms&) { return ActiveIs("QFileDialog"); }}},
        {"message_box",
         {[](TForms& f) { f.MsgBox().ShowMsg(QStringLiteral("Continue?"), mkConfirmation, QString(), mbYes | mbNo, false); },
          [](TForms&) { return ActiveIs("TMsgBox"); }}},
        {"error_box",
         {[](TForms&) { ShowErrorBox(std::string("Something went wrong")); }, [](TForms&) { return ActiveIs("QMessageBox"); }}},
        {"debug_log", {[](TForms& f) { f.Debug().show(); }, [](TForms& f) { return f.Debug().isVisible(); }}},
        {"reset_prompt",
         {[](TForms& f) { f.Main().ForceUpdateClick(); },
          [](TForms& f) { return f.Update().isVisible() && f.Update().ButAbort()->isVisible(); }}},
        // The update fails by itself (the simulator is told to reject a frame).
        {"update_failed", {nullptr, [](TForms&) { return ActiveIs("TMsgBox"); }}},
    };
    return states;
}

}  // namespace

int main(int argc, char** argv) {
    TApplication app(argc, argv);
    if (argc != 4 || !States().count(argv[1])) {
        std::fprintf(stderr, "usage: window_signal_driver STATE PORT SETTINGS-FILE\n");
        return 2;
    }
    const StateDef& state = States().at(argv[1]);
    const std::string port = argv[2];
    TCustomComPort::SetPortListSource([port] { return std::vector<std::string>{port}; });

    TStartOptions options;
    options.Port = port;
    options.SettingsFile = QString::fromLocal8Bit(argv[3]);
    options.DevelopmentWindowPresent = [] { return false; };

    QTimer watch;
    bool opened = false;
    bool ready = false;
    TForms* forms = nullptr;
    const auto check = [&] {
        if (state.Open && !opened && forms->Main().State() == SchedulerState::Polling) {
            opened = true;
            // Queued: a modal window runs its own loop, and this check must go on.
            QTimer::singleShot(0, [&] { state.Open(*forms); });
        }
        if (!ready && state.Reached(*forms)) {
            ready = true;
            std::fputs("ready\n", stdout);
            std::fflush(stdout);
        }
    };
    return RunWindowProgram(options, [&](TForms& started) {
        forms = &started;
        QObject::connect(&started.Main(), &TMain::StatusTextChanged, [&](const QString& text) {
            if (text == QLatin1String("Searching for KARNOL simulator")) searchSeen = true;
            check();
        });
        QObject::connect(&watch, &QTimer::timeout, check);
        watch.start(10);
    });
}
