#include "NameList.h"

#include <algorithm>

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

std::vector<std::string> ParseNameList(std::string_view text) {
    std::vector<std::string> names;
    std::size_t start = 0;
    while (start <= text.size()) {
        std::size_t end = text.find(',', start);
        if (end == std::string_view::npos) end = text.size();
        std::size_t first = start, last = end;
        while (first < last && IsBlank(text[first])) ++first;
        while (last > first && IsBlank(text[last - 1])) --last;
        std::string name(text.substr(first, last - first));
        if (!name.empty() && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(std::move(name));
        start = end + 1;
    }
    return names;
}
