#pragma once
#include <string>
#include <string_view>
#include <vector>

// Messages of the lower layers are single-byte Latin-1 texts ("geöffnet"),
// while file names inside them are whatever bytes the file system holds
// (UTF-8 here). For a terminal, bytes that already form UTF-8 are kept and
// every other byte from 128 to 255 is taken as Latin-1 and re-encoded.
std::string ForTerminal(std::string_view text);

// Rows laid out in columns two spaces apart, each column as wide as its
// widest cell, the last one unpadded; a line per row, no trailing blanks.
std::string ColumnTable(const std::vector<std::vector<std::string>>& rows);
