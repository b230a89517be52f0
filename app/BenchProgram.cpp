#include "BenchProgram.h"

#include "BenchWindow.h"
#include "CarriedImage.h"
#include "FileNameText.h"
#include "ErrorBox.h"
#include "SignalCloser.h"

#include "link/PortChoice.h"
#include "storage/IniFile.h"
#include "storage/SettingsLocation.h"

#include <QCoreApplication>

namespace {

std::string SettingsFileOf(const TStartOptions& options) {
    if (!options.SettingsFile.isEmpty()) return FileNameBytes(options.SettingsFile);
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return SettingsFileFor(FileNameBytes(folder));
}

// The port the main window used last: a device server's address there is
// part of the bench, since no port list can find it.
std::string SavedPort(const std::string& file) {
    try {
        IniFile settings(file);
        settings.SetDefaultSection("CONFIG");
        return settings.ReadString("ComPort", "");
    } catch (const std::exception&) {
        return {};  // no settings yet: nothing saved
    }
}

}  // namespace

int RunBenchProgram(const TStartOptions& options, const std::function<void(TBenchWindow&)>& started) {
    FirmwareImage image;
    std::vector<std::string> ports;
    const std::string settings = SettingsFileOf(options);
    try {
        image = CarriedImage();
        if (options.BenchPorts.empty()) {
            // Every port of the machine, the main window's saved server
            // address and the ports added to the bench before.
            ports = BenchPorts({}, SavedPort(settings));
            for (const auto& added : AddedBenchPorts(settings)) ports.push_back(added);
            ports = OncePerDevice(ports);
        } else {
            ports = BenchPorts(options.BenchPorts, {});
        }
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);
        return 1;
    }
    const QString program = options.ProgramFile.isEmpty() ? QCoreApplication::applicationFilePath() : options.ProgramFile;
    TBenchWindow window(ports, options.BenchPorts.empty(), std::move(image), StandardBenchDialogs(program, settings));
    TSignalCloser closer(window);
    QObject::connect(&window, &TBenchWindow::Closed, qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    window.show();
    if (started) started(window);
    return QCoreApplication::exec();
}
