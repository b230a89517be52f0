#include "StartOptions.h"

#include "FileNameText.h"
#include "base/WideText.h"
#include "link/PortChoice.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

bool ParseCommandLine(const QStringList& arguments, TStartOptions& options, QString& error) {
    options.Arguments = arguments;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString name;
        if (argument == QLatin1String("--bench")) {
            options.Bench = true;
            continue;
        }
        if (argument == QLatin1String("--port")) {
            if (i + 1 >= arguments.size() || arguments[i + 1].isEmpty()) {
                error = QStringLiteral("--port needs the name of a serial port, e.g. --port ttyUSB0 or --port /dev/pts/3");
                return false;
            }
            name = arguments[++i];
        } else if (argument.startsWith(QLatin1String("--port="))) {
            name = argument.mid(7);
            if (name.isEmpty()) {
                error = QStringLiteral("--port= needs the name of a serial port");
                return false;
            }
        } else {
            continue;
        }
        // Port names are byte strings below the window; Latin-1 keeps every
        // byte of a name that came in as Latin-1.
        options.Port = name.toLatin1().toStdString();
    }
    if (options.Bench && options.Port) {
        for (const QString& part : QString::fromLatin1(*options.Port).split(QLatin1Char(','), Qt::SkipEmptyParts))
            options.BenchPorts.push_back(part.trimmed().toLatin1().toStdString());
    }
    return true;
}

bool WantsUsage(const QStringList& arguments) {
    return arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"));
}

bool WantsVersion(const QStringList& arguments) { return arguments.contains(QLatin1String("--version")); }

QString CommandLineUsage(const QString& programName) {
    QString usage = QStringLiteral("Usage: %1 [--port NAME] [ACCESS-CODE]\n"
                                   "       %1 --bench [--port NAME,NAME,...]\n"
                                   "  --port NAME   use the serial port NAME (ttyUSB0, or a path such as /dev/pts/3)\n"
                                   "                instead of the one used last, or a serial device server:\n")
                        .arg(programName);
    for (const PortNameHelp& entry : ServerAddressHelp) {
        usage += QStringLiteral("    %1\n").arg(QLatin1String(entry.Name));
        for (const char* line : entry.Lines) usage += QStringLiteral("                %1\n").arg(QLatin1String(line));
    }
    return usage + QStringLiteral("  --bench       the bench window: one row for every simulator of the machine\n"
                                  "                (each port searched, each device once), or for the ports\n"
                                  "                --port names, separated by commas; double-click a row to open\n"
                                  "                the main window on that box\n"
                                  "  ACCESS-CODE   the developer's access code, given alone: with the development\n"
                                  "                environment's window open, the program copies itself into the\n"
                                  "                dist folder beside it, named with its version\n"
                                  "  --help        show this text and end\n"
                                  "  --version     show the program's version and end\n");
}

bool DeveloperModeRequested(const QStringList& arguments, const std::function<bool()>& windowPresent) {
    if (arguments.size() != 1 || arguments.front() != QLatin1String(DeveloperAccessCode)) return false;
    return windowPresent && windowPresent();
}

QString DistributionFileName(const QString& programFile, std::uint16_t versionWord) {
    const QFileInfo info(programFile);
    QString name = info.completeBaseName() + QString::number(versionWord, 16).toUpper().rightJustified(3, QLatin1Char('0')) +
                   QLatin1Char('0');
    if (!info.suffix().isEmpty()) name += QLatin1Char('.') + info.suffix();
    QString folder = info.path();
    if (!folder.endsWith(QLatin1Char('/'))) folder += QLatin1Char('/');
    return folder + QLatin1String("dist/") + name;
}

void CopyToDistribution(const QString& programFile, std::uint16_t versionWord) {
    const std::filesystem::path from = PathFromUtf8(FileNameBytes(programFile));
    const std::filesystem::path to = PathFromUtf8(FileNameBytes(DistributionFileName(programFile, versionWord)));
    std::error_code ignored;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ignored);
}
