// The bench's ports as they come and go: the port list read again while
// the bench runs, a port added by hand, and a box lent to the main window
// and taken back when that program ends.
#include "BenchWindow.h"

#include "BenchWindowRow.h"
#include "FileNameText.h"
#include "SystemBeep.h"
#include "WindowLook.h"

#include "base/Failure.h"

#include <QLabel>

#include <algorithm>

void TBenchWindow::Rescan() {
    std::vector<std::string> listed;
    try {
        listed = dialogs_.ListPorts();
    } catch (const EFailure&) {
        return;  // tried again at the next round
    }
    auto isListed = [&listed](const std::string& port) {
        return std::find(listed.begin(), listed.end(), port) != listed.end();
    };
    // A port that comes back after it left is searched anew.
    std::erase_if(leftAlone_, [&](const std::string& port) { return !isListed(port); });
    std::vector<std::string> leaving;
    for (const auto& row : rows_)
        if (row->Listed && !isListed(row->Port) && !row->View.Known && !row->InJob && !row->InMain)
            leaving.push_back(row->Port);
    for (const auto& port : leaving) RemoveRow(port);
    for (const auto& port : listed)
        if (IndexOf(port) < 0 && !leftAlone_.contains(port)) AddRow(port, true);
}

void TBenchWindow::AddPortClick() {
    const std::string port = dialogs_.AddPort(*this).toLatin1().toStdString();
    if (port.empty()) return;
    if (IndexOf(port) >= 0) {
        summary_->setText(QStringLiteral("%1 is on the bench already").arg(Latin1(port)));
        return;
    }
    leftAlone_.erase(port);
    AddRow(port, false);
    if (!dialogs_.KeepAdded) return;
    try {
        dialogs_.KeepAdded(port);
    } catch (const std::exception& failure) {
        summary_->setText(QStringLiteral("%1 is not kept for the next start: %2")
                              .arg(Latin1(port), FileNameText(failure.what())));
    }
}

void TBenchWindow::OpenMainOn(const std::string& port) {
    Row* row = RowOf(port);
    if (!row || row->InJob || row->InMain || closing_) {
        ErrorBeep();
        return;
    }
    row->InMain = true;
    row->OpenWhenReleased = true;
    row->Monitor->Release();
    Show(*row);
    EnableActions();
}

void TBenchWindow::MainEnded(const std::string& port) {
    Row* row = RowOf(port);
    if (!row) return;
    row->InMain = false;
    row->Monitor->Resume();  // the port taken back as after a job
    Show(*row);
    EnableActions();
}
