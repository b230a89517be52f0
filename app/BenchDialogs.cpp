#include "BenchDialogs.h"

#include "DetachedProgram.h"

#include "link/PortChoice.h"
#include "storage/IniFile.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QObject>
#include <QTimer>

#include <algorithm>
#include <memory>

namespace {

// The settings' key for the ports added to the bench, one line of names
// separated by ";" (which no port name or server address holds).
constexpr const char* AddedPortsKey = "Bench\\AddedPorts";
constexpr int EndCheckMs = 250;  // how often a started main window is looked at

}  // namespace

std::vector<std::string> AddedBenchPorts(const std::string& settingsFile) {
    std::vector<std::string> ports;
    try {
        IniFile settings(settingsFile);
        const std::string line = settings.ReadString(AddedPortsKey, "");
        std::size_t from = 0;
        while (from <= line.size()) {
            const std::size_t end = std::min(line.find(';', from), line.size());
            if (end > from) ports.push_back(line.substr(from, end - from));
            from = end + 1;
        }
    } catch (const std::exception&) {
        // No settings yet, or unreadable: nothing added.
    }
    return ports;
}

BenchDialogs StandardBenchDialogs(const QString& programFile, const std::string& settingsFile) {
    BenchDialogs d;
    const QString filter = QStringLiteral("KNSimTool set-ups (*.kns);;All files (*)");
    d.ApplyFile = [filter](QWidget& parent) {
        return QFileDialog::getOpenFileName(&parent, QStringLiteral("Apply set-up to the boxes"), QString(), filter);
    };
    d.SavePattern = [filter](QWidget& parent) {
        return QFileDialog::getSaveFileName(&parent, QStringLiteral("Save each box as ({serial}, {port})"),
                                            QStringLiteral("{serial}.kns"), filter, nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
    d.ConfirmForcedUpdate = [](QWidget& parent, int count) {
        return QMessageBox::question(&parent, QStringLiteral("Force update"),
                                     QStringLiteral("Update the firmware of %1 box(es), whatever they hold? "
                                                    "You will be asked to press each box's reset button.")
                                         .arg(count)) == QMessageBox::Yes;
    };
    d.Refused = [](QWidget& parent, const QString& text) {
        QMessageBox::critical(&parent, QStringLiteral("KNSimTool bench"), text);
    };
    d.AddPort = [](QWidget& parent) {
        return QInputDialog::getText(&parent, QStringLiteral("Add port"),
                                     QStringLiteral("Port name or device server address\n"
                                                    "(ttyUSB0, COM5, rfc2217://HOST:PORT, tcp://HOST:PORT):"))
            .trimmed();
    };
    d.OpenMain = [programFile](const std::string& port, std::function<void()> done) {
        QString error;
        std::shared_ptr<DetachedProgram> program =
            DetachedProgram::Start(programFile, {QStringLiteral("--port"), QString::fromLatin1(port)}, error);
        if (!program) return error;
        // The watch belongs to the application: it ends with the bench's
        // program, and only forgets the main window then, which runs on.
        auto* watch = new QTimer(qApp);
        QObject::connect(watch, &QTimer::timeout, watch, [watch, program, done] {
            if (!program->Ended()) return;
            watch->stop();
            watch->deleteLater();
            done();
        });
        watch->start(EndCheckMs);
        return QString();
    };
    d.ListPorts = [] { return ListedPortsInOrder(); };
    d.KeepAdded = [settingsFile](const std::string& port) {
        std::vector<std::string> added = AddedBenchPorts(settingsFile);
        if (std::find(added.begin(), added.end(), port) != added.end()) return;
        added.push_back(port);
        std::string line;
        for (const auto& p : added) line += (line.empty() ? "" : ";") + p;
        IniFile settings(settingsFile);
        settings.WriteString(AddedPortsKey, line);
    };
    return d;
}
