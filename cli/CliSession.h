#pragma once
#include "CliOptions.h"

#include "link/BoxSession.h"

// One run of a command against one simulator: a box session for the options'
// port or serial number, stopped by SIGINT and SIGTERM, that keeps the
// command's options.
class CliSession : public BoxSession {
public:
    // events must outlive the session.
    CliSession(CliOptions options, BoxEvents& events);

    const CliOptions& Options() const { return options_; }

private:
    CliOptions options_;
};

// The stop of every run of the command line: SIGINT and SIGTERM.
BoxStop& InterruptStop();

// Loads the image compiled into the program; raises CliError when it is unusable.
FirmwareImage LoadCarriedImage();
