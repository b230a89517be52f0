#pragma once
#include <string_view>
#include <vector>

// Configuration documents and the settings file address a value the same
// way: a backslash-separated path whose last part names the value. Empty
// parts are dropped, so a leading backslash only marks a path from the root.
inline std::vector<std::string_view> SplitValuePath(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('\\', start);
        if (end == std::string_view::npos) end = path.size();
        if (end > start) parts.push_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}
