#include "FuzzCheck.h"

#include <map>

namespace FuzzCheck {

Check ByName(const std::string& name) {
    static const std::map<std::string, Check> checks = {
        {"config_document", &ConfigDocument}, {"ini_file", &IniFile},   {"status_line", &StatusLine},
        {"hex_reply", &HexReply},             {"boot_frame", &BootFrame}, {"natural_compare", &NaturalCompare},
        {"code_list", &CodeList},             {"name_list", &NameList},   {"elm_adapter", &ElmAdapter},
        {"rfc2217_stream", &Rfc2217Stream},   {"network_port_name", &NetworkPortName},
    };
    const auto it = checks.find(name);
    return it == checks.end() ? nullptr : it->second;
}

}  // namespace FuzzCheck
