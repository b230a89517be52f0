#pragma once
// The program's settings file: sections of key=value lines, single-byte
// text with CR LF line ends. Every access reads the file again and every
// written value writes it at once, so changes another program made in
// between are seen and kept. Standard library only.

#include <string>
#include <string_view>
#include <vector>

class IniFile {
public:
    IniFile() = default;
    // Names the file and reads it if it exists.
    explicit IniFile(std::string fileName);
    // Writes the file once more with its current content (when it exists).
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    void SetFileName(std::string fileName);
    const std::string& FileName() const { return fileName_; }
    // The section of a path with one part ("ComPort").
    void SetDefaultSection(std::string section) { defaultSection_ = std::move(section); }
    const std::string& DefaultSection() const { return defaultSection_; }

    // Paths: "Main\ShowCmd" (section Main, key ShowCmd); empty parts are
    // dropped, the last part is the key, a single part uses the default section.
    [[nodiscard]] bool ValueExists(std::string_view path);
    // The value (an empty one as the empty text), or def when the key is missing.
    std::string ReadString(std::string_view path, std::string_view def);
    void WriteString(std::string_view path, std::string_view value);
    // def when the key is missing, 0 when its value is empty, else the value
    // as an integer; raises EConvertError ("'%s' ist kein gültiger
    // Integerwert") when it is not one.
    int ReadInteger(std::string_view path, int def);
    void WriteInteger(std::string_view path, int value);

    // The file's content as it would be written now.
    std::string Serialize() const;

private:
    struct Section {
        std::string Name;
        std::vector<std::string> Lines;  // key lines as they stand
    };
    struct Key {
        std::string Section;
        std::string Name;
        bool Valid = false;
    };

    Key SplitPath(std::string_view path) const;
    // Reads the file again; false when it exists but cannot be read (then
    // nothing may be written over it).
    bool Reload();
    void Parse(std::string_view text);
    void Store();
    Section* FindSection(std::string_view name);
    static std::string* FindLine(Section& section, std::string_view key);
    const std::string* FindValue(std::string_view path);

    std::string fileName_;
    std::string defaultSection_;
    std::vector<Section> sections_;
    std::string valueBuffer_;
};
