// What the command line reads from its own arguments: the trouble-code lists
// of --ecu1/--ecu2 and the port and serial-number lists of --port/--serial.
#include "FuzzCheck.h"

#include "cli/CliError.h"
#include "cli/CodeList.h"
#include "cli/NameList.h"

#include "base/TroubleCode.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

namespace FuzzCheck {

void CodeList(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::vector<std::uint16_t> words;
    try {
        words = ParseCodeList(text, "ECU1");
    } catch (const UsageError& refused) {
        // A refusal names the list it refused.
        FUZZ_REQUIRE(std::string(refused.what()).rfind("ECU1: ", 0) == 0);
        return;
    }
    FUZZ_REQUIRE(words.size() <= static_cast<std::size_t>(DtcSlots));
    // The codes as the window shows them read back as the same words.
    std::string shown;
    for (const std::uint16_t word : words) shown += (shown.empty() ? "" : ",") + CodeName(word);
    FUZZ_REQUIRE(ParseCodeList(shown, "ECU1") == words);
}

void NameList(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> names = ParseNameList(text);
    std::string joined;
    for (const auto& name : names) {
        FUZZ_REQUIRE(!name.empty());
        FUZZ_REQUIRE(name.find(',') == std::string::npos);
        FUZZ_REQUIRE(name.front() != ' ' && name.back() != ' ' && name.front() != '\t' && name.back() != '\t');
        FUZZ_REQUIRE(std::count(names.begin(), names.end(), name) == 1);
        // Every name stands in the text as given.
        FUZZ_REQUIRE(text.find(name) != std::string_view::npos);
        joined += (joined.empty() ? "" : ",") + name;
    }
    FUZZ_REQUIRE(ParseNameList(joined) == names);
}

}  // namespace FuzzCheck
