#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A list of trouble codes as typed on the command line: codes separated by
// commas, blanks or semicolons ("P0301,P0420", "p0301 c1234"). Each code is
// checked by the link's own rule; the words come back in the given order.
// Raises UsageError naming the first bad code, or when more than ten are
// given; ecuName ("ECU1") is put in front of the message.
std::vector<std::uint16_t> ParseCodeList(std::string_view list, const std::string& ecuName);
