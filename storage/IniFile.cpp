#include "IniFile.h"

#include "SafeFile.h"
#include "base/TextCase.h"
#include "ValuePath.h"

#include "base/Convert.h"

#include <limits>

namespace {

}  // namespace

IniFile::IniFile(std::string fileName) { SetFileName(std::move(fileName)); }

IniFile::~IniFile() {
    // A last rewrite with the same content; nothing is created that did not exist.
    try {
        if (!fileName_.empty() && SafeFile::Exists(fileName_) && Reload()) Store();
    } catch (...) {
    }
}

void IniFile::SetFileName(std::string fileName) {
    fileName_ = std::move(fileName);
    Reload();
}

IniFile::Key IniFile::SplitPath(std::string_view path) const {
    const auto parts = SplitValuePath(path);
    Key key;
    if (parts.empty()) return key;
    key.Name = std::string(parts.back());
    if (parts.size() == 1) {
        key.Section = defaultSection_;
    } else {
        for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
            if (i) key.Section += '\\';
            key.Section += parts[i];
        }
    }
    key.Valid = true;
    return key;
}

bool IniFile::Reload() {
    sections_.clear();
    if (fileName_.empty()) return true;
    std::string text;
    switch (SafeFile::ReadWhole(fileName_, text, std::numeric_limits<std::size_t>::max() - 1)) {
    case SafeFile::ReadResult::Missing: return true;
    case SafeFile::ReadResult::Unreadable: return false;
    case SafeFile::ReadResult::Ok: break;
    }
    Parse(text);
    return true;
}

void IniFile::Parse(std::string_view text) {
    Section* current = nullptr;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.front() == ';') continue;
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            sections_.push_back({std::string(line.substr(1, line.size() - 2)), {}});
            current = &sections_.back();
            continue;
        }
        // Lines before the first section have no place to go.
        if (current) current->Lines.emplace_back(line);
    }
}

std::string IniFile::Serialize() const {
    std::string out;
    for (const auto& s : sections_) {
        out += '[';
        out += s.Name;
        out += "]\r\n";
        for (const auto& line : s.Lines) {
            out += line;
            out += "\r\n";
        }
        out += "\r\n";
    }
    return out;
}

void IniFile::Store() {
    if (fileName_.empty() || SafeFile::IsReadOnly(fileName_)) return;
    // A settings file that cannot be written loses the settings quietly:
    // nothing in the program could do anything about it.
    (void)SafeFile::WriteReplacing(fileName_, Serialize());
}

IniFile::Section* IniFile::FindSection(std::string_view name) {
    for (auto& s : sections_)
        if (SameTextNoCase(s.Name, name)) return &s;
    return nullptr;
}

std::string* IniFile::FindLine(Section& section, std::string_view key) {
    // The key is the text before the first "=", blanks included.
    for (auto& line : section.Lines) {
        const std::size_t eq = line.find('=');
        if (eq != std::string::npos && SameTextNoCase(std::string_view(line).substr(0, eq), key)) return &line;
    }
    return nullptr;
}

const std::string* IniFile::FindValue(std::string_view path) {
    Reload();
    const Key key = SplitPath(path);
    if (!key.Valid) return nullptr;
    Section* section = FindSection(key.Section);
    if (!section) return nullptr;
    const std::string* line = FindLine(*section, key.Name);
    if (!line) return nullptr;
    valueBuffer_ = line->substr(line->find('=') + 1);
    return &valueBuffer_;
}

bool IniFile::ValueExists(std::string_view path) { return FindValue(path) != nullptr; }

std::string IniFile::ReadString(std::string_view path, std::string_view def) {
    const std::string* value = FindValue(path);
    return value ? *value : std::string(def);
}

void IniFile::WriteString(std::string_view path, std::string_view value) {
    // Writing over a file that could not be read would throw its content away.
    if (!Reload()) return;
    const Key key = SplitPath(path);
    if (!key.Valid) return;
    Section* section = FindSection(key.Section);
    if (!section) {
        sections_.push_back({key.Section, {}});
        section = &sections_.back();
    }
    std::string line = key.Name + "=" + std::string(value);
    if (std::string* existing = FindLine(*section, key.Name))
        *existing = std::move(line);
    else
        section->Lines.push_back(std::move(line));
    Store();
}

int IniFile::ReadInteger(std::string_view path, int def) {
    const std::string* value = FindValue(path);
    if (!value) return def;
    if (value->empty()) return 0;
    return StrToInt(*value);
}

void IniFile::WriteInteger(std::string_view path, int value) { WriteString(path, std::to_string(value)); }
