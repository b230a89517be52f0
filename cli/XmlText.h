#pragma once
#include <string>
#include <string_view>

// Text for an XML 1.0 document in UTF-8 that is well-formed whatever bytes
// come in (a command's output may hold anything): the markup characters as
// entities; tab, line feed and carriage return kept (as character
// references in attributes and for the carriage return, which a reader
// would otherwise turn into blanks or line feeds); every other control
// character, and U+FFFE and U+FFFF, as the visible text "\xNN" or "\uFFFE";
// valid UTF-8 kept as it is, and every byte that is not part of it taken
// as Latin-1 (the single-byte texts of scan tools and of the simulator).
std::string XmlEscaped(std::string_view text, bool attribute = false);
