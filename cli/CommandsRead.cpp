// The commands that only read: ports, info, status, show, watch.
#include "CliCommands.h"

#include "CliError.h"
#include "CliSession.h"
#include "StderrBoxEvents.h"
#include "Interrupt.h"
#include "JsonWriter.h"
#include "LocalTime.h"
#include "PortsInOrder.h"
#include "Report.h"

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

std::string TimeStamp() {
    const std::tm local = LocalTime(std::time(nullptr));
    char text[16];
    std::strftime(text, sizeof text, "%H:%M:%S", &local);
    return text;
}

void PrintLine(std::FILE* to, const std::string& line) {
    std::fprintf(to, "%s %s\n", TimeStamp().c_str(), line.c_str());
    std::fflush(to);
}

}  // namespace

int RunPorts(const CliOptions& options, std::string& out) {
    const auto ports = ListPortsInOrder();
    JsonWriter j;
    j.BeginObject().Key("ports").BeginArray();
    StderrBoxEvents events;
    std::unique_ptr<CliSession> session;
    if (options.Probe) session = std::make_unique<CliSession>(options, events);
    for (const auto& port : ports) {
        j.BeginObject().Field("name", port);
        if (!session) {
            out += port + "\n";
            j.EndObject();
            continue;
        }
        session->ThrowIfInterrupted();
        const auto probe = session->ProbePort(port);
        if (probe.Answered) {
            out += port + "\t" + probe.Serial + "\t" + probe.Version + "\n";
            j.Field("serial", probe.Serial).Field("version", probe.Version);
        } else {
            out += port + "\t-\t-\n";
            j.Key("serial").Null().Key("version").Null();
        }
        j.EndObject();
    }
    j.EndArray().EndObject();
    if (options.Json) out = j.Text();
    return ExitOk;
}

int RunInfo(CliSession& session, std::string& out) {
    session.Connect();
    return PrintInfo(session, out);
}

int PrintInfo(CliSession& session, std::string& out) {
    const CliOptions& options = session.Options();
    InfoFacts info;
    info.Port = session.PortName();
    info.Serial = session.State().SerialNumber();
    info.Installed = session.State().InstalledVersionText();
    info.Carried = session.Image().VersionLabel();
    info.UpdateDue = session.UpdateDue();
    out += options.Json ? InfoJson(info) : InfoText(info);
    return ExitOk;
}

int RunStatus(CliSession& session, std::string& out) {
    session.Connect();
    out += session.Options().Json ? StatusJson(session.State(), session.PortName()) : StatusText(session.State());
    return ExitOk;
}

int RunShow(CliSession& session, std::string& out) {
    session.Connect();
    out += session.Options().Json ? ShowJson(session.State(), session.PortName()) : ShowText(session.State());
    return ExitOk;
}

int RunWatch(const CliOptions& options, std::string&) {
    StderrBoxEvents events;
    CliSession session(options, events);
    session.Connect();
    const SimulatorState& s = session.State();
    auto snapshot = [&s] { return WatchLine(s); };
    std::string last = snapshot();
    PrintLine(stdout, last);
    std::string lastFailure;
    // As the window's polling state: a failed read is shown and polling goes
    // on, so that a simulator that comes back is seen again.
    while (SleepUnlessInterrupted(Connection::PollInterval)) {
        if (session.Poll()) {
            const std::string now = snapshot();
            if (now != last || !lastFailure.empty()) PrintLine(stdout, now);
            last = now;
            lastFailure.clear();
        } else {
            const std::string failure = session.Host().StatusText();
            if (failure != lastFailure) PrintLine(stderr, failure);
            lastFailure = failure;
        }
    }
    return ExitOk;  // ended by SIGINT or SIGTERM: the session closes the port
}
