#include "ConfigDocument.h"

#include "ConfigReader.h"
#include "base/TextCase.h"
#include "ValuePath.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr std::string_view LineEnd = "\r\n";
constexpr std::string_view Indent = "  ";

void WriteAttributes(std::string& out, const std::vector<ConfigAttribute>& attributes) {
    for (const auto& a : attributes) {
        out += ' ';
        out += ConfigDocument::EscapeName(a.Name);
        out += "=\"";
        out += ConfigDocument::Escape(a.Value);
        out += '"';
    }
}

void WriteDeclaration(std::string& out, const std::vector<ConfigAttribute>& attributes) {
    out += "<?xml";
    WriteAttributes(out, attributes);
    out += "?>";
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

void WriteIndent(std::string& out, int level) {
    for (int i = 0; i < level; ++i) out += Indent;
}

// Depth is bounded: a read document is at most MaxDepth deep, and one built
// through paths is as deep as its longest path.
void WriteElement(std::string& out, const ConfigElement& e, int level) {
    WriteIndent(out, level);
    if (e.IsComment()) {
        out += "<!--";
        out += e.Value();
        out += "-->";
        out += LineEnd;
        return;
    }
    const std::string name = ConfigDocument::EscapeName(e.Name());
    out += '<';
    out += name;
    WriteAttributes(out, e.Attributes());
    if (!e.HasChildElements()) {
        // One line. Comments inside a value stay inside it, after the text:
        // on lines of their own, the line breaks around them would become
        // part of the value when the file is read again.
        if (e.Value().empty() && e.Children().empty()) {
            out += "/>";
        } else {
            out += '>';
            out += ConfigDocument::Escape(e.Value());
            for (const auto& comment : e.Children()) {
                out += "<!--";
                out += comment->Value();
                out += "-->";
            }
            out += "</";
            out += name;
            out += '>';
        }
        out += LineEnd;
        return;
    }
    out += '>';
    out += LineEnd;
    // Text mixed with child elements only comes from files edited by hand.
    // It gets a line of its own ahead of the children, so that nothing of it
    // is lost; its outer blanks are layout, as the reader takes them.
    const std::string_view text = TrimBlanks(e.Value());
    if (!text.empty()) {
        WriteIndent(out, level + 1);
        out += ConfigDocument::Escape(text);
        out += LineEnd;
    }
    for (const auto& child : e.Children()) WriteElement(out, *child, level + 1);
    WriteIndent(out, level);
    out += "</";
    out += name;
    out += '>';
    out += LineEnd;
}

}  // namespace

// ---- ConfigElement -------------------------------------------------------

ConfigElement::ConfigElement(std::string name, Kind kind) : kind_(kind), name_(std::move(name)) {}

bool ConfigElement::HasChildElements() const {
    for (const auto& c : children_)
        if (!c->IsComment()) return true;
    return false;
}

ConfigElement* ConfigElement::FindChild(std::string_view name) {
    for (const auto& c : children_)
        if (!c->IsComment() && ConfigDocument::SameName(c->Name(), name)) return c.get();
    return nullptr;
}

const ConfigElement* ConfigElement::FindChild(std::string_view name) const {
    return const_cast<ConfigElement*>(this)->FindChild(name);
}

ConfigElement& ConfigElement::AddChild(std::string name) {
    children_.push_back(std::make_unique<ConfigElement>(std::move(name)));
    return *children_.back();
}

ConfigElement& ConfigElement::AddComment(std::string text) {
    children_.push_back(std::make_unique<ConfigElement>(std::string(), Kind::Comment));
    children_.back()->SetValue(std::move(text));
    return *children_.back();
}

ConfigElement& ConfigElement::ForceChild(std::string_view name) {
    if (ConfigElement* found = FindChild(name)) return *found;
    return AddChild(std::string(name));
}

void ConfigElement::Clear() {
    value_.clear();
    attributes_.clear();
    children_.clear();
}

// ---- ConfigDocument ------------------------------------------------------

ConfigDocument::ConfigDocument() : root_(std::make_unique<ConfigElement>(RootName)) {}

void ConfigDocument::Clear() {
    root_ = std::make_unique<ConfigElement>(RootName);
    prolog_.clear();
    epilog_.clear();
}

void ConfigDocument::Parse(std::string_view data) {
    Clear();
    ConfigReader reader(data, *root_, prolog_, epilog_);
    reader.Read();
}

std::string ConfigDocument::Serialize() const {
    // The declaration goes first, whatever stood before it in the file read,
    // and the standard one when the file had none: XML allows it nowhere
    // else, and test benches read these files with strict readers (xmllint,
    // Python's) that refuse a declaration after a comment. Our reader takes
    // either order, so files written the other way still open.
    const auto declaration = std::find_if(prolog_.begin(), prolog_.end(), [](const ConfigPrologItem& item) {
        return item.ItemKind == ConfigPrologItem::Kind::Declaration;
    });
    std::string out;
    if (declaration != prolog_.end()) {
        WriteDeclaration(out, declaration->Attributes);
    } else {
        out += "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>";
    }
    out += LineEnd;
    for (auto item = prolog_.begin(); item != prolog_.end(); ++item) {
        if (item == declaration) continue;
        switch (item->ItemKind) {
        case ConfigPrologItem::Kind::Declaration:  // a second one, kept as it came
            WriteDeclaration(out, item->Attributes);
            break;
        case ConfigPrologItem::Kind::Comment:
            out += "<!--";
            out += item->Text;
            out += "-->";
            break;
        case ConfigPrologItem::Kind::StyleSheet:
            out += "<?xml-stylesheet";
            out += item->Text;
            out += "?>";
            break;
        case ConfigPrologItem::Kind::DocType:
            out += item->Text;
            break;
        }
        out += LineEnd;
    }
    WriteElement(out, *root_, 0);
    for (const auto& comment : epilog_) {
        out += "<!--";
        out += comment;
        out += "-->";
        out += LineEnd;
    }
    return out;
}

bool ConfigDocument::SameName(std::string_view a, std::string_view b) { return SameTextNoCase(a, b); }

std::string ConfigDocument::Escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '"': out += "&quot;"; break;
        case '&': out += "&amp;"; break;
        case '\'': out += "&apos;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default:
            if (c >= 128) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "&#x%.2x;", static_cast<unsigned>(c));
                out += buf;
            } else {
                out += ch;
            }
        }
    }
    return out;
}

std::string ConfigDocument::EscapeName(std::string_view name) {
    // A name read from a file may hold references to bytes that no name can
    // hold as they stand (blanks, control bytes, "/", "="; "?" or "!" at its
    // start); written bare, the saved file would no longer open.
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const bool bare = c > 32 && c != '/' && c != '=' && !(i == 0 && (c == '?' || c == '!'));
        if (bare) {
            out += Escape(name.substr(i, 1));
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "&#x%.2x;", static_cast<unsigned>(c));
            out += buf;
        }
    }
    return out;
}

ConfigElement* ConfigDocument::FindPath(std::string_view path) {
    // The root's name is compared with case: a file of another root holds no values.
    if (root_->Name() != RootName) return nullptr;
    const auto parts = SplitValuePath(path);
    if (parts.empty()) return nullptr;
    ConfigElement* e = root_.get();
    for (auto part : parts) {
        e = e->FindChild(part);
        if (!e) return nullptr;
    }
    return e;
}

const ConfigElement* ConfigDocument::FindPath(std::string_view path) const {
    return const_cast<ConfigDocument*>(this)->FindPath(path);
}

ConfigElement& ConfigDocument::ForcePath(std::string_view path) {
    // Values written under a root of another name could never be read back,
    // so the saved file would silently open as empty.
    if (root_->Name() != RootName) root_->SetName(RootName);
    ConfigElement* e = root_.get();
    for (auto part : SplitValuePath(path)) e = &e->ForceChild(part);
    return *e;
}

const std::string* ConfigDocument::ReadValue(std::string_view path) const {
    const ConfigElement* e = FindPath(path);
    return e ? &e->Value() : nullptr;
}

void ConfigDocument::WriteValue(std::string_view path, std::string value) {
    ForcePath(path).SetValue(std::move(value));
}
