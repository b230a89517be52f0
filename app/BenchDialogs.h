#pragma once
// The bench window's questions to the person, the main window it starts and
// what it reads from the machine and keeps in the settings.

#include <QString>

#include <functional>
#include <string>
#include <vector>

class QWidget;

// What the bench window asks of the person, and what it starts: replaced by
// tests.
struct BenchDialogs {
    // The ".kns" file to apply; empty: cancelled.
    std::function<QString(QWidget& parent)> ApplyFile;
    // The file name pattern to save to ({serial}, {port}); empty: cancelled.
    std::function<QString(QWidget& parent)> SavePattern;
    // Whether to force an update of count boxes.
    std::function<bool(QWidget& parent, int count)> ConfirmForcedUpdate;
    // A failure that stops a job before any box is asked (a bad file).
    std::function<void(QWidget& parent, const QString& text)> Refused;
    // A port name or a device server's address to add; empty: cancelled.
    std::function<QString(QWidget& parent)> AddPort;
    // Opens the main window on port as a program of its own. Returns the
    // reason when it cannot be started; else done runs on the window thread
    // once the program has ended (never when the bench has gone first).
    std::function<QString(const std::string& port, std::function<void()> done)> OpenMain;
    // The ports the machine lists now, read again every few seconds while
    // every port is searched; empty: the list stays as it was at start.
    std::function<std::vector<std::string>()> ListPorts;
    // Keeps a port added with AddPort for the next starts; raises when the
    // settings cannot be written.
    std::function<void(const std::string& port)> KeepAdded;
};

// The dialogs of the program itself; the main window as the program at
// programFile started on its own; the system's port list; the settings file.
BenchDialogs StandardBenchDialogs(const QString& programFile, const std::string& settingsFile);

// The ports that KeepAdded kept in the settings file.
std::vector<std::string> AddedBenchPorts(const std::string& settingsFile);
