#include "FuzzCheck.h"

#include <map>

namespace FuzzCheck {

Check ByName(const std::string& name) {
    static const std::map<std::string, Check> checks = {
        {"config_document", &ConfigDocument}, {"ini_file", &IniFile},   {"status_line", &StatusLine},
        {"hex_reply", &HexReply},             {"natural_compare", &NaturalCompare},
        {"code_list", &CodeList},             {"name_list", &NameList},           {"test_plan", &TestPlan},
        {"rfc2217_stream", &Rfc2217Stream},   {"network_port_name", &NetworkPortName},
#ifndef _WIN32
        // A pseudo-terminal and the emulator's adapter: Linux only (see CMakeLists.txt).
        {"boot_frame", &BootFrame},           {"elm_adapter", &ElmAdapter},
#endif
    };
    const auto it = checks.find(name);
    return it == checks.end() ? nullptr : it->second;
}

}  // namespace FuzzCheck
