#pragma once
#include "Child.h"
#include "ExampleSetup.h"
#include "TestFiles.h"
#include "WaitUntil.h"

#include <string>
#include <vector>

inline bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }
// Four zero digits per trouble-code word, for "!X" commands.
inline std::string Zeros(int words) { return std::string(static_cast<std::size_t>(words) * 4, '0'); }
// A fixture file of tests/cli/data.
inline std::string DataFile(const std::string& name) { return std::string(KNS_CLI_TEST_DATA) + "/" + name; }

using Commands = std::vector<std::string>;
// The commands of a connection: search, status, configuration, remote mode.
Commands ConnectCommands();
// Those, then middle, then the read-back and the close; without a read-back
// (readBack false) only the close.
Commands Session(const Commands& middle, bool readBack = true);
