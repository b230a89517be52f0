#include "SetupFileJobs.h"

#include "base/Failure.h"
#include "base/WideText.h"
#include "link/BoxError.h"
#include "link/BoxJobs.h"
#include "link/FileNames.h"
#include "link/SetupActions.h"
#include "storage/CfgFile.h"

#include <filesystem>

std::string SaveNameProblem(const std::string& pattern, std::size_t boxes) {
    if (boxes <= 1 || pattern.find("{serial}") != std::string::npos || pattern.find("{port}") != std::string::npos)
        return {};
    return "every simulator would write the same file; put {serial} or {port} in its name";
}

std::string SaveBoxSetup(BoxSession& session, const std::string& pattern) {
    // The name is known only now: it may hold the simulator's serial number.
    const std::string name =
        ConfigurationFileName(BoxFileName(pattern, session.State().SerialNumber(), session.PortName()));
    CfgFile file;
    try {
        file.Save(name, SetupFromState(session.State()), session.Image().VersionWord());
    } catch (const EFailure& e) {
        throw BoxError(ExitFileFailed, e.Message());
    }
    return CfgFile::DocumentPath(name);
}

CfgValues OpenSetupFile(CfgFile& file, const std::string& typed) {
    const std::string chosen = ConfigurationFileName(typed);
    const std::string path = CfgFile::DocumentPath(chosen);
    std::error_code error;
    const auto status = std::filesystem::status(PathFromUtf8(path), error);
    if (error) throw BoxError(ExitFileFailed, "Cannot open " + path + ": " + error.message());
    if (std::filesystem::is_directory(status)) throw BoxError(ExitFileFailed, "Cannot open " + path + ": it is a folder");
    try {
        return file.Open(chosen);
    } catch (const EFailure& e) {
        throw BoxError(ExitFileFailed, e.Message());
    }
}

void ApplySetupFile(BoxSession& session, const CfgValues& values) {
    ApplyOnBox(session, values.Protocol, values.EcuCount, [&values](const CfgSetup& held) {
        CfgSetup setup = held;  // the file laid over what the box holds
        ApplyValues(values, setup);
        return setup;
    });
}
