// update-firmware: the update (with its progress on standard error), then
// the info of the simulator that comes back, or that needed none.
#include "CliCommands.h"

#include "CliSession.h"
#include "Report.h"

#include "link/BoxJobs.h"

int RunUpdateFirmware(CliSession& session, std::string& out) {
    (void)UpdateBox(session, session.Options().Update);
    return PrintInfo(session, out);
}
