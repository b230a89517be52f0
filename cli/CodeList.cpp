#include "CodeList.h"

#include "CliError.h"

#include "link/SimulatorState.h"
#include "base/TroubleCode.h"

namespace {

bool IsSeparator(char c) { return c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

std::vector<std::uint16_t> ParseCodeList(std::string_view list, const std::string& ecuName) {
    std::vector<std::uint16_t> words;
    std::size_t i = 0;
    while (i < list.size()) {
        if (IsSeparator(list[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < list.size() && !IsSeparator(list[end])) ++end;
        const std::string_view code = list.substr(i, end - i);
        const auto word = ParseCode(code);
        if (!word) {
            throw UsageError(ecuName + ": '" + std::string(code) +
                             "' is not a trouble code (a letter P, C, B or U, then four hexadecimal "
                             "digits, the first 0 to 3)");
        }
        words.push_back(*word);
        i = end;
    }
    if (words.size() > static_cast<std::size_t>(DtcSlots)) {
        throw UsageError(ecuName + ": at most " + std::to_string(DtcSlots) + " trouble codes, " +
                         std::to_string(words.size()) + " given");
    }
    return words;
}
