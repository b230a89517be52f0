#pragma once
#include "ChildProcess.h"
#include "TestFiles.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// Four zero digits per trouble-code word, for "!X" commands.
inline std::string Zeros(int words) { return std::string(static_cast<std::size_t>(words) * 4, '0'); }
// A fixture file of tests/cli/data.
inline std::string DataFile(const std::string& name) { return std::string(KNS_CLI_TEST_DATA) + "/" + name; }

// knsim-emu as a child process on its own pseudo-terminal, logging every
// command it sees to a file.
class Emulator {
public:
    explicit Emulator(const std::vector<std::string>& args = {});
    ~Emulator();

    const std::string& Port() const { return port_; }
    // Every log entry: commands ("!I", "!P83") and boot-loader events.
    std::vector<std::string> Log() const;
    // Only the commands to the firmware.
    std::vector<std::string> Commands() const;
    void ClearLog() const;
    void PressReset() const;  // SIGUSR1: the simulator's reset button

private:
    std::string logPath_;
    std::unique_ptr<ChildProcess> process_;
    std::string port_;
};

// knsimtool-cli with args. The port list is always replaced (by ports, when
// given, else by a name that exists nowhere), so that no test can reach the
// machine's own ports.
ChildProcess::Result RunCli(const std::vector<std::string>& args, const std::string& ports = "");

using Commands = std::vector<std::string>;
// The commands of a connection: search, status, configuration, remote mode.
Commands ConnectCommands();
// Those, then middle, then the read-back and the close; without a read-back
// (readBack false) only the close.
Commands Session(const Commands& middle, bool readBack = true);
