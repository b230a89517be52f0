#pragma once
// The bench window over emulated boxes, as the bench tests drive it: its
// rows read by port, its actions triggered, its dialogs and the main window
// it opens replaced.

#include "app/BenchWindow.h"
#include "app/CarriedImage.h"

#include "emu/EmulatedSimulator.h"

#include "QtWait.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTableWidget>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline EmulatorOptions Box(std::string serial, int protocol) {
    EmulatorOptions o;
    o.Serial = std::move(serial);
    o.Protocol = protocol;
    return o;
}

struct Bench {
    std::vector<std::unique_ptr<EmulatedSimulator>> boxes;
    std::unique_ptr<TBenchWindow> window;
    std::vector<std::string> opened;  // ports the main window was asked for
    std::function<void()> closeMain;
    std::vector<std::string> refused;  // what the bench refused before touching any box

    explicit Bench(const std::vector<EmulatorOptions>& options, std::vector<std::string> extraPorts = {},
                   BenchDialogs dialogs = {}, bool searchAll = false) {
        std::vector<std::string> ports = std::move(extraPorts);
        for (const auto& o : options) {
            boxes.push_back(std::make_unique<EmulatedSimulator>(o));
            boxes.back()->Start();
            ports.push_back(boxes.back()->PortPath());
        }
        if (!dialogs.OpenMain) {
            dialogs.OpenMain = [this](const std::string& port, std::function<void()> done) {
                opened.push_back(port);
                closeMain = std::move(done);
                return QString();
            };
        }
        if (!dialogs.Refused) dialogs.Refused = [this](QWidget&, const QString& text) { refused.push_back(text.toStdString()); };
        window = std::make_unique<TBenchWindow>(ports, searchAll, CarriedImage(), std::move(dialogs));
        window->show();
    }
    ~Bench() {
        if (window) window->close();
    }

    QTableWidget& Table() const { return *window->findChild<QTableWidget*>(QStringLiteral("BenchRows")); }
    int RowOf(const std::string& port) const {
        for (int r = 0; r < Table().rowCount(); ++r)
            if (Cell(r, TBenchWindow::ColPort) == port) return r;
        return -1;
    }
    std::string Cell(int row, int column) const {
        const QTableWidgetItem* item = Table().item(row, column);
        return item ? item->text().toStdString() : std::string();
    }
    std::string State(const std::string& port) const { return Cell(RowOf(port), TBenchWindow::ColState); }
    bool WaitState(const std::string& port, const std::string& state, int timeoutMs = 8000) const {
        return WaitWithEvents([&] { return State(port) == state; }, timeoutMs);
    }
    void Select(const std::vector<std::size_t>& which) const {
        Table().clearSelection();
        for (std::size_t i : which) {
            const int row = RowOf(boxes[i]->PortPath());
            Table().selectionModel()->select(Table().model()->index(row, 0),
                                             QItemSelectionModel::Select | QItemSelectionModel::Rows);
        }
    }
    void Trigger(const char* action) const { window->findChild<QAction*>(QLatin1String(action))->trigger(); }
    bool WaitIdle(int timeoutMs = 30000) const { return WaitWithEvents([&] { return !window->Busy(); }, timeoutMs); }
};

inline Lines Commands(const std::vector<std::string>& log) {
    Lines lines;
    std::copy_if(log.begin(), log.end(), std::back_inserter(lines), [](const std::string& e) { return e[0] == '!'; });
    return lines;
}

