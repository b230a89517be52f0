#pragma once
// Saving a box's set-up and applying a set-up file to a box: one rule each,
// for the command line and the bench window alike. Failures are raised as
// BoxError with the exit status a single run would end with.

#include "link/BoxSession.h"
#include "storage/CfgMapping.h"

#include <cstddef>
#include <string>

class CfgFile;

// Why a save file name cannot serve that many boxes (each would write the
// same file, the last one winning); empty when it can.
[[nodiscard]] std::string SaveNameProblem(const std::string& pattern, std::size_t boxes);

// Saves what the connected box holds to the file named from pattern, with
// the box's serial number and port put in. Returns the file's path.
std::string SaveBoxSetup(BoxSession& session, const std::string& pattern);

// Reads a set-up file before any box is touched, so that a bad file changes
// nothing. A missing file is refused rather than applied as an empty set-up:
// it is almost always a typing error.
CfgValues OpenSetupFile(CfgFile& file, const std::string& typed);

// Sends the file's values to the connected box, laid over what it holds.
void ApplySetupFile(BoxSession& session, const CfgValues& values);
