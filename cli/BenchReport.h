#pragma once
#include "link/BenchRun.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// "ok", "differs" (diff found differences), "interrupted" (SIGINT or
// SIGTERM) or "failed".
std::string ResultWord(const BoxResult& box);

// One row per box (port, serial number, result, failure text) under a
// heading, columns aligned; with outputs, then each box's own output under
// a line that names it.
std::string BenchTable(const std::vector<BoxResult>& boxes, bool outputs);

// An array with one object per box: port, serial, result and error, then
// the members of the box's own JSON document (its Out), port and serial not
// repeated.
std::string BenchJson(const std::vector<BoxResult>& boxes);

// The top-level members of a JSON object as (key, value as written); empty
// when text is no object. Keys are taken as written between their quotes.
std::vector<std::pair<std::string, std::string>> JsonMembers(std::string_view text);
