#include "CliTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

Emulator::Emulator(const std::vector<std::string>& args) {
    static std::atomic<int> counter{0};
    static const std::string dir = MakeTempDir();
    logPath_ = dir + "/emu" + std::to_string(counter++) + ".log";
    std::vector<std::string> all = {"--log", logPath_};
    all.insert(all.end(), args.begin(), args.end());
    process_ = std::make_unique<ChildProcess>(KNS_EMU_PATH, all);
    port_ = process_->ReadOutputLine(10000);
    if (port_.empty()) throw std::runtime_error("knsim-emu printed no port");
}

Emulator::~Emulator() {
    process_->Signal(SIGTERM);
    process_->Wait(10000);
    unlink(logPath_.c_str());
}

std::vector<std::string> Emulator::Log() const {
    std::vector<std::string> lines;
    std::istringstream in(ReadFile(logPath_));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::vector<std::string> Emulator::Commands() const {
    std::vector<std::string> commands;
    for (auto& line : Log())
        if (!line.empty() && line[0] == '!') commands.push_back(line);
    return commands;
}

void Emulator::ClearLog() const { WriteFile(logPath_, ""); }

void Emulator::PressReset() const { kill(process_->Pid(), SIGUSR1); }

ChildProcess::Result RunCli(const std::vector<std::string>& args, const std::string& ports) {
    ChildProcess cli(KNS_CLI_PATH, args, {{"KNSIM_CLI_PORTS", ports.empty() ? "/nonexistent/knsim-test-port" : ports}});
    return cli.Wait();
}

Commands ConnectCommands() { return {"!I", "!B", "!S", "!C", "!K1"}; }

Commands Session(const Commands& middle, bool readBack) {
    Commands c = ConnectCommands();
    c.insert(c.end(), middle.begin(), middle.end());
    if (readBack) c.insert(c.end(), {"!S", "!C", "!K1"});
    c.push_back("!K0");
    return c;
}
