#pragma once
// The bench window's questions to the person and the main window it starts.

#include <QString>

#include <functional>
#include <string>

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
    // Opens the main window on port; done runs on the window thread once it
    // has closed.
    std::function<void(const std::string& port, std::function<void()> done)> OpenMain;
};

// The dialogs of the program itself; the main window as a program of its own.
BenchDialogs StandardBenchDialogs();
