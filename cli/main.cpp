// knsimtool-cli: the simulator from a terminal. See HelpText.cpp for what it does.
#include "CliCommands.h"
#include "CliError.h"
#include "CliOptions.h"
#include "CliSession.h"
#include "HelpText.h"
#include "Interrupt.h"
#include "PortsInOrder.h"
#include "TerminalText.h"

#include "base/Failure.h"
#include "base/WideText.h"
#include "storage/SettingsLocation.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

void Write(std::FILE* to, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), to);
    std::fflush(to);
}

}  // namespace

int main(int argc, char** argv) {
    InstallInterruptHandlers();
    TakePortsFromEnvironment();

    CliOptions options;
    try {
        // On Windows from the UTF-16 command line: a path in any folder arrives whole.
        options = ParseCliOptions(ProgramArguments(argc, argv));
    } catch (const CliError& e) {
        Write(stderr, std::string("knsimtool-cli: ") + e.what() + "\nTry 'knsimtool-cli --help'.\n");
        return e.ExitStatus();
    }

    if (options.Help) {
        Write(stdout, options.HelpTopic.empty() ? GeneralHelp() : CommandHelp(options.HelpTopic));
        return ExitOk;
    }
    if (options.ShowVersion) {
        try {
            Write(stdout, "knsimtool-cli, carried firmware " + LoadCarriedImage().VersionLabel() +
                              "\nsettings file: " + SettingsFileFor(RunningProgramFolder()) + "\n");
        } catch (const CliError& e) {
            Write(stderr, std::string(e.what()) + "\n");
            return e.ExitStatus();
        }
        return ExitOk;
    }

    // Standard output is collected and written only when the command has not
    // failed, so that a script never reads half a result.
    std::string out;
    int status = ExitOk;
    try {
        status = RunCommand(options, out);
    } catch (const UsageError& e) {
        Write(stderr, std::string("knsimtool-cli: ") + e.what() + "\nTry 'knsimtool-cli " + options.Command +
                          " --help'.\n");
        return e.ExitStatus();
    } catch (const CliError& e) {
        Write(stderr, ForTerminal(e.what()) + "\n");
        if (!e.Hint().empty()) Write(stderr, ForTerminal(e.Hint()) + "\n");
        return e.ExitStatus();
    } catch (const std::exception& e) {
        // Nothing below should let a failure escape; if one does, it is still
        // a failure of the device side, reported and not a crash.
        Write(stderr, ForTerminal(e.what()) + "\n");
        return ExitDeviceFailed;
    }
    Write(stdout, out);
    return status;
}
