#pragma once
#include <string>
#include <string_view>
#include <vector>

// A list of names as typed after --port or --serial: separated by commas,
// blanks around a name dropped, empty entries skipped, a name given twice
// kept once (the first time). Port names stay as the user wrote them; that
// a link and its target are the same device is found out when the bench is
// chosen (BenchChoice).
std::vector<std::string> ParseNameList(std::string_view text);
