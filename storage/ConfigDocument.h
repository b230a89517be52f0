#pragma once
// The configuration document: a small XML element tree with the items that
// stand before the root element, read from and written to byte strings.
// Texts are single-byte (Latin-1) and are never re-encoded. No Qt here: the
// command line and the fuzzers link the same code.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One attribute of a start tag or of the declaration, kept so that a file
// saved over keeps what it had.
struct ConfigAttribute {
    std::string Name;
    std::string Value;
};

// An element, or a comment standing among elements.
class ConfigElement {
public:
    enum class Kind { Element, Comment };

    explicit ConfigElement(std::string name, Kind kind = Kind::Element);

    Kind NodeKind() const { return kind_; }
    bool IsComment() const { return kind_ == Kind::Comment; }

    const std::string& Name() const { return name_; }
    void SetName(std::string name) { name_ = std::move(name); }
    // The element's text (a comment's text for a comment).
    const std::string& Value() const { return value_; }
    void SetValue(std::string value) { value_ = std::move(value); }

    std::vector<ConfigAttribute>& Attributes() { return attributes_; }
    const std::vector<ConfigAttribute>& Attributes() const { return attributes_; }

    // Children (elements and comments) in creation order.
    const std::vector<std::unique_ptr<ConfigElement>>& Children() const { return children_; }
    bool HasChildElements() const;

    // First child element whose name equals name without regard to case.
    ConfigElement* FindChild(std::string_view name);
    const ConfigElement* FindChild(std::string_view name) const;
    // Appends a child element (or comment) at the end.
    ConfigElement& AddChild(std::string name);
    ConfigElement& AddComment(std::string text);
    // The child of that name, appended at the end when there is none.
    ConfigElement& ForceChild(std::string_view name);
    void Clear();  // drops value, attributes and children

private:
    Kind kind_;
    std::string name_;
    std::string value_;
    std::vector<ConfigAttribute> attributes_;
    std::vector<std::unique_ptr<ConfigElement>> children_;
};

// An item before the root element, written back in its place (the
// declaration always first).
struct ConfigPrologItem {
    enum class Kind { Declaration, Comment, StyleSheet, DocType };
    Kind ItemKind = Kind::Comment;
    // Comment: the text between "<!--" and "-->". StyleSheet: the text between
    // "<?xml-stylesheet" and "?>". DocType: the whole "<!DOCTYPE ...>".
    std::string Text;
    std::vector<ConfigAttribute> Attributes;  // Declaration only
};

class ConfigDocument {
public:
    static constexpr const char* RootName = "CONFIG";
    // Limits that keep a hostile or broken file from exhausting the stack or
    // memory; real files are a few kilobytes deep three levels.
    static constexpr int MaxDepth = 64;
    static constexpr std::size_t MaxFileSize = 1024 * 1024;

    ConfigDocument();

    ConfigElement& Root() { return *root_; }
    const ConfigElement& Root() const { return *root_; }
    std::vector<ConfigPrologItem>& Prolog() { return prolog_; }
    const std::vector<ConfigPrologItem>& Prolog() const { return prolog_; }
    // Comments after the root element.
    const std::vector<std::string>& Epilog() const { return epilog_; }

    // Back to an empty root "CONFIG" with nothing before or after it.
    void Clear();

    // Replaces the content by the document in data. Raises EFailure with the
    // reader's message when data is not such a document; the content then
    // holds what was read before the error.
    void Parse(std::string_view data);

    // The document in the file layout: declaration first, two-space indentation,
    // CR LF after every line.
    std::string Serialize() const;

    // The element a value path names ("\Global\Protocol", "Version"), or
    // nullptr when it does not exist or the root is not named exactly CONFIG.
    ConfigElement* FindPath(std::string_view path);
    const ConfigElement* FindPath(std::string_view path) const;
    // The element a path names, creating missing ones at the end of their
    // parents. A root of another name is renamed CONFIG first, so that what
    // is written can be found again.
    ConfigElement& ForcePath(std::string_view path);

    // The value at path, or nullptr when the element is missing.
    const std::string* ReadValue(std::string_view path) const;
    void WriteValue(std::string_view path, std::string value);

    // Comparison of names without regard to case (Latin-1 letters included).
    static bool SameName(std::string_view a, std::string_view b);
    // Text with " & ' < > and bytes 128..255 written as references.
    static std::string Escape(std::string_view text);
    // Escape, and also every byte a name cannot hold as it stands.
    static std::string EscapeName(std::string_view name);

private:
    std::unique_ptr<ConfigElement> root_;
    std::vector<ConfigPrologItem> prolog_;
    std::vector<std::string> epilog_;
};
