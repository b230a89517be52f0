#pragma once
#include "link/BoxError.h"

// A command's end with its exit status: main() prints the message on standard
// error and exits with the status. Nothing already collected for standard
// output is printed.
using CliError = BoxError;

// Wrong usage; main() adds a hint to the help.
class UsageError : public CliError {
public:
    explicit UsageError(const std::string& message) : CliError(ExitUsage, message) {}
};
