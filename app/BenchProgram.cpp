#include "BenchProgram.h"

#include "BenchWindow.h"
#include "CarriedImage.h"
#include "ErrorBox.h"
#include "SignalCloser.h"

#include "link/PortChoice.h"
#include "storage/IniFile.h"
#include "storage/SettingsLocation.h"

#include <QCoreApplication>
#include <QFile>

namespace {

// The port the main window used last: a device server's address there is
// part of the bench, since no port list can find it.
std::string SavedPort(const TStartOptions& options) {
    QString folder = QCoreApplication::applicationDirPath();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    const std::string file = options.SettingsFile.isEmpty()
                                 ? SettingsFileFor(QFile::encodeName(folder).toStdString())
                                 : QFile::encodeName(options.SettingsFile).toStdString();
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
    try {
        image = CarriedImage();
        ports = BenchPorts(options.BenchPorts, options.BenchPorts.empty() ? SavedPort(options) : std::string());
    } catch (const std::exception& failure) {
        ShowErrorBox(failure);
        return 1;
    }
    TBenchWindow window(ports, options.BenchPorts.empty(), std::move(image), StandardBenchDialogs());
    TSignalCloser closer(window);
    QObject::connect(&window, &TBenchWindow::Closed, qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
    window.show();
    if (started) started(window);
    return QCoreApplication::exec();
}
