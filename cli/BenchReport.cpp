#include "BenchReport.h"

#include "JsonWriter.h"
#include "TerminalText.h"

#include <algorithm>

std::string ResultWord(const BoxResult& box) {
    if (box.Status == 0) return "ok";
    if (box.Status >= 128) return "interrupted";
    // diff's exit status 1 without a failure: the box differs from the file.
    if (box.Status == 1 && box.Error.empty()) return "differs";
    return "failed";
}

std::string BenchTable(const std::vector<BoxResult>& boxes, bool outputs) {
    const std::vector<std::string> heading = {"PORT", "SERIAL", "RESULT", "ERROR"};
    std::vector<std::vector<std::string>> rows = {heading};
    for (const auto& box : boxes)
        rows.push_back({box.Port.empty() ? "-" : box.Port, box.Serial.empty() ? "-" : box.Serial, ResultWord(box),
                        ForTerminal(box.Error)});
    std::string text = ColumnTable(rows);
    if (!outputs) return text;
    for (const auto& box : boxes) {
        if (box.Out.empty()) continue;
        text += "\n== " + box.Port + (box.Serial.empty() ? "" : " (" + box.Serial + ")") + "\n" + box.Out;
    }
    return text;
}

std::string BenchJson(const std::vector<BoxResult>& boxes) {
    JsonWriter j;
    j.BeginArray();
    for (const auto& box : boxes) {
        j.BeginObject();
        j.TextOrNull("port", box.Port).TextOrNull("serial", box.Serial).Field("result", ResultWord(box));
        j.TextOrNull("error", box.Error);
        for (const auto& [key, value] : JsonMembers(box.Out)) {
            if (key == "port" || key == "serial" || key == "result" || key == "error") continue;
            j.Key(key).Raw(value);
        }
        j.EndObject();
    }
    j.EndArray();
    return j.Text();
}

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The end of the string that starts at text[at] (its closing quote + 1), or npos.
std::size_t StringEnd(std::string_view text, std::size_t at) {
    for (std::size_t i = at + 1; i < text.size(); ++i) {
        if (text[i] == '\\') ++i;
        else if (text[i] == '"') return i + 1;
    }
    return std::string_view::npos;
}

// The end of the value that starts at text[at]: the first ',' or '}' outside
// strings and nested brackets, or npos.
std::size_t ValueEnd(std::string_view text, std::size_t at) {
    int depth = 0;
    for (std::size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            i = StringEnd(text, i);
            if (i == std::string_view::npos) return i;
            --i;
        } else if (c == '{' || c == '[') {
            ++depth;
        } else if (c == '}' || c == ']') {
            if (depth == 0) return c == '}' ? i : std::string_view::npos;
            --depth;
        } else if (c == ',' && depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> JsonMembers(std::string_view text) {
    std::vector<std::pair<std::string, std::string>> members;
    std::size_t i = 0;
    auto skip = [&] { while (i < text.size() && IsSpace(text[i])) ++i; };
    skip();
    if (i >= text.size() || text[i] != '{') return {};
    ++i;
    for (;;) {
        skip();
        if (i < text.size() && text[i] == '}' && members.empty()) return members;
        if (i >= text.size() || text[i] != '"') return {};
        const std::size_t keyEnd = StringEnd(text, i);
        if (keyEnd == std::string_view::npos) return {};
        std::string key(text.substr(i + 1, keyEnd - i - 2));
        i = keyEnd;
        skip();
        if (i >= text.size() || text[i] != ':') return {};
        ++i;
        skip();
        const std::size_t end = ValueEnd(text, i);
        if (end == std::string_view::npos || end == i) return {};
        std::size_t last = end;
        while (last > i && IsSpace(text[last - 1])) --last;
        members.emplace_back(std::move(key), std::string(text.substr(i, last - i)));
        i = end + 1;
        if (text[end] == '}') return members;
    }
}
