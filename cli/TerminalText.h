#pragma once
#include <string>
#include <string_view>

// Messages of the lower layers are single-byte Latin-1 texts ("geöffnet"),
// while file names inside them are whatever bytes the file system holds
// (UTF-8 here). For a terminal, bytes that already form UTF-8 are kept and
// every other byte from 128 to 255 is taken as Latin-1 and re-encoded.
std::string ForTerminal(std::string_view text);
