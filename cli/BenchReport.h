#pragma once
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// How one simulator of a bench fared: the command's exit status, what it
// would have printed alone, and the failure's text where it failed.
struct BoxResult {
    std::string Port;    // empty for a serial number that no port answered with
    std::string Serial;  // as found, or as asked for; empty when unknown
    int Status = 0;      // the single run's exit status
    std::string Error;   // the single run's message on standard error; empty when none
    std::string Out;     // the single run's standard output
};

// "ok", "differs" (diff found differences), "interrupted" (SIGINT or
// SIGTERM) or "failed".
std::string ResultWord(const BoxResult& box);

// 0 when every box succeeded, else the worst single exit status: an
// interrupt (128 + signal) over a file failure (3) over a usage error (2)
// over a failure of the simulator or a difference (1).
int BenchExitStatus(const std::vector<BoxResult>& boxes);

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
