#include "FuzzCheck.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <utility>

namespace FuzzCheck {

namespace {
FailureHandler& Handler() {
    static FailureHandler handler;
    return handler;
}
}  // namespace

Check ByName(const std::string& name) {
    static const std::map<std::string, Check> checks = {
        {"config_document", &ConfigDocument}, {"ini_file", &IniFile},   {"status_line", &StatusLine},
        {"hex_reply", &HexReply},             {"boot_frame", &BootFrame}, {"natural_compare", &NaturalCompare},
        {"code_list", &CodeList},             {"name_list", &NameList},   {"elm_adapter", &ElmAdapter},
    };
    const auto it = checks.find(name);
    return it == checks.end() ? nullptr : it->second;
}

FailureHandler SetFailureHandler(FailureHandler handler) { return std::exchange(Handler(), std::move(handler)); }

void Fail(const char* file, int line, const std::string& what) {
    const std::string message = std::string(file) + ":" + std::to_string(line) + ": property broken: " + what;
    if (Handler()) Handler()(message);
    std::fprintf(stderr, "%s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

}  // namespace FuzzCheck
