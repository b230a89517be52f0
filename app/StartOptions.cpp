#include "StartOptions.h"

#include <QFile>
#include <QFileInfo>

#include <filesystem>
#include <system_error>

bool ParseCommandLine(const QStringList& arguments, TStartOptions& options, QString& error) {
    options.Arguments = arguments;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        QString name;
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
    return true;
}

bool WantsUsage(const QStringList& arguments) {
    return arguments.contains(QLatin1String("--help")) || arguments.contains(QLatin1String("-h"));
}

bool WantsVersion(const QStringList& arguments) { return arguments.contains(QLatin1String("--version")); }

QString CommandLineUsage(const QString& programName) {
    return QStringLiteral("Usage: %1 [--port NAME] [ACCESS-CODE]\n"
                          "  --port NAME   use the serial port NAME (ttyUSB0, or a path such as /dev/pts/3)\n"
                          "                instead of the one used last, or a serial device server:\n"
                          "    rfc2217://HOST:PORT\n"
                          "                a serial device server spoken to with Telnet and the COM-PORT\n"
                          "                option (RFC 2217); the tool sets its line to 115200 8N1\n"
                          "    tcp://HOST:PORT\n"
                          "                a raw TCP connection to a server already set to 115200 8N1;\n"
                          "                the bytes pass unchanged\n"
                          "  ACCESS-CODE   the developer's access code, given alone: with the development\n"
                          "                environment's window open, the program copies itself into the\n"
                          "                dist folder beside it, named with its version\n"
                          "  --help        show this text and end\n"
                          "  --version     show the program's version and end\n")
        .arg(programName);
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
    const std::filesystem::path from(QFile::encodeName(programFile).toStdString());
    const std::filesystem::path to(QFile::encodeName(DistributionFileName(programFile, versionWord)).toStdString());
    std::error_code ignored;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ignored);
}
