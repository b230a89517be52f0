#include "ConfigReader.h"

#include "base/TextCase.h"

#include "base/Convert.h"
#include "base/Failure.h"

#include <array>
#include <cstdint>

namespace {

// Reader messages. Users compare them with what they see, so their wording
// (the double blank before "found" included) stays as it is.
const std::string PrologText = "Invalid Document: Unexpected text in file prolog";
const std::string TooLarge = "Invalid Document: File too large (more than 1048576 bytes)";
const std::string AfterRoot = "Invalid Document: Unexpected text after the root element";
const std::string DocTypeEnd = "Invalid DocType: Unexpected end of data";
const std::string TooDeep = "Invalid XML Element: Nesting deeper than 64 levels";
const std::string NoValidName = "Invalid XML Element: malformed tag found (no valid name)";
const std::string CommentDashes = "Invalid Comment: \"--\" not allowed inside comments";
const std::string CommentEnd = "Invalid Comment: Unexpected end of data";
const std::string CDataEnd = "Invalid CDATA: Unexpected end of data";
const std::string StyleSheetEnd = "Invalid Stylesheet: Unexpected end of data";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string ExpectedBeginning(const std::string& found) {
    return "Invalid XML Element: Expected beginning of tag but " + Quoted(found) + " found";
}
std::string ExpectedEnd(const std::string& found) {
    return "Invalid XML Element: Expected end of tag but " + Quoted(found) + " found";
}
std::string WrongEndTag(const std::string& expected, const std::string& found) {
    return "Invalid XML Element: Erroneous end of tag, expecting </" + expected + "> but </" + found + "> found";
}
std::string BadPropertyChar(const std::string& found) {
    return "Invalid XML Element: Unexpected character in property declaration (" + Quoted(found) + " found)";
}
std::string BadPropertyQuote(const std::string& found) {
    return "Invalid XML Element: Unexpected character in property declaration. Expecting \" or ' but " +
           Quoted(found) + "  found";
}
std::string ExpectedButFound(const char* what, std::string_view expected, const std::string& found) {
    return std::string("Invalid ") + what + ": expected " + Quoted(std::string(expected)) + " but found " +
           Quoted(found);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Bytes that may stand before the root besides markup: blanks, NUL and the
// bytes of the usual byte-order marks.
bool IsPrologFiller(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return IsBlank(ch) || c == 0 || c == 0xBB || c == 0xBF || c == 0xEF || c == 0xFE || c == 0xFF;
}

bool IsNameChar(char ch) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 32) return false;
    switch (c) {
    case '/': case '>': case '<': case '=': case '"': case '\'':
        return false;
    default:
        return true;
    }
}

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Longest reference body kept, ";" included ("#x000000FF;").
constexpr std::size_t MaxReferenceLength = 12;

// The byte a reference stands for, or -1 when it is not one we can keep in a
// single-byte text (unknown names, 0, or code points above 255).
int ReferenceByte(std::string_view body) {
    static constexpr std::array<std::pair<std::string_view, char>, 5> Named = {{
        {"amp", '&'}, {"lt", '<'}, {"gt", '>'}, {"quot", '"'}, {"apos", '\''},
    }};
    for (const auto& [name, ch] : Named)
        if (SameTextNoCase(body, name)) return static_cast<unsigned char>(ch);
    if (body.size() < 2 || body[0] != '#') return -1;
    std::size_t i = 1;
    int base = 10;
    if (body[1] == 'x' || body[1] == 'X') {
        base = 16;
        i = 2;
    }
    if (i >= body.size()) return -1;
    std::uint32_t value = 0;
    for (; i < body.size(); ++i) {
        const int digit = HexDigitValue(static_cast<unsigned char>(body[i]));
        if (digit < 0 || digit >= base) return -1;
        value = value * static_cast<std::uint32_t>(base) + static_cast<std::uint32_t>(digit);
        if (value > 255) return -1;
    }
    return value == 0 ? -1 : static_cast<int>(value);
}

}  // namespace

std::string DecodeEntities(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '&') {
            // References are short; a lone "&" is kept as it stands. Only
            // the next few bytes are searched: a long text full of "&" and
            // without ";" must not be scanned to its end once per "&".
            const std::string_view ahead = text.substr(i + 1, MaxReferenceLength);
            const std::size_t semi = ahead.find(';');
            if (semi != std::string_view::npos) {
                const int b = ReferenceByte(ahead.substr(0, semi));
                if (b >= 0) {
                    out += static_cast<char>(b);
                    i += semi + 1;
                    continue;
                }
            }
        }
        out += text[i];
    }
    return out;
}

ConfigReader::ConfigReader(std::string_view data, ConfigElement& root, std::vector<ConfigPrologItem>& prolog,
                           std::vector<std::string>& epilog)
    : data_(data), root_(root), prolog_(prolog), epilog_(epilog) {}

bool ConfigReader::StartsWith(std::string_view text) const { return data_.substr(pos_).starts_with(text); }

std::string ConfigReader::Ahead(std::size_t n) const { return std::string(data_.substr(pos_, n)); }

std::string ConfigReader::Current() const { return AtEnd() ? std::string() : std::string(1, data_[pos_]); }

void ConfigReader::Fail(const std::string& message) { throw EFailure(message); }

void ConfigReader::SkipPrologFiller() {
    while (!AtEnd() && IsPrologFiller(data_[pos_])) ++pos_;
}

void ConfigReader::SkipBlanks() {
    while (!AtEnd() && IsBlank(data_[pos_])) ++pos_;
}

void ConfigReader::Read() {
    if (data_.size() > ConfigDocument::MaxFileSize) Fail(TooLarge);
    ReadProlog();
}

void ConfigReader::ReadProlog() {
    for (;;) {
        SkipPrologFiller();
        // A file without a root element (an empty file) holds no values.
        if (AtEnd()) return;
        if (data_[pos_] != '<') Fail(PrologText);
        if (StartsWith("<?xml-")) {
            ReadStyleSheet();
        } else if (StartsWith("<?")) {
            ReadDeclaration();
        } else if (StartsWith("<!--")) {
            ConfigPrologItem item;
            item.ItemKind = ConfigPrologItem::Kind::Comment;
            item.Text = ReadComment();
            prolog_.push_back(std::move(item));
        } else if (StartsWith("<!-")) {
            Fail(ExpectedButFound("Comment", "<!--", Ahead(4)));
        } else if (StartsWith("<!DOCTYPE")) {
            ConfigPrologItem item;
            item.ItemKind = ConfigPrologItem::Kind::DocType;
            item.Text = ReadDocType();
            prolog_.push_back(std::move(item));
        } else if (StartsWith("<!")) {
            Fail(PrologText);
        } else {
            const std::string name = ReadStartName();
            root_.SetName(DecodeEntities(name));
            ReadElementBody(root_, name, 1);
            ReadEpilog();
            return;
        }
    }
}

void ConfigReader::ReadEpilog() {
    for (;;) {
        SkipPrologFiller();
        if (AtEnd()) return;
        if (data_[pos_] != '<') Fail(ExpectedBeginning(Current()));
        if (!StartsWith("<!--")) Fail(AfterRoot);
        epilog_.push_back(ReadComment());
    }
}

void ConfigReader::ReadDeclaration() {
    // "<?xml" must be followed by a blank or the end of the declaration.
    if (!StartsWith("<?xml")) Fail(ExpectedButFound("Header", "<?xml", Ahead(5)));
    if (pos_ + 5 < data_.size() && !IsBlank(data_[pos_ + 5]) && data_[pos_ + 5] != '?')
        Fail(ExpectedButFound("Header", "<?xml ", Ahead(6)));
    pos_ += 5;
    ConfigPrologItem item;
    item.ItemKind = ConfigPrologItem::Kind::Declaration;
    ReadDeclarationAttributes(item.Attributes);
    prolog_.push_back(std::move(item));
}

void ConfigReader::ReadDeclarationAttributes(std::vector<ConfigAttribute>& attributes) {
    for (;;) {
        SkipBlanks();
        if (StartsWith("?>")) {
            pos_ += 2;
            return;
        }
        if (AtEnd() || !IsNameChar(data_[pos_]) || data_[pos_] == '?')
            Fail(ExpectedButFound("Header", "?>", Ahead(2)));
        ReadAttribute(attributes);
    }
}

void ConfigReader::ReadStyleSheet() {
    constexpr std::string_view Start = "<?xml-stylesheet";
    if (!StartsWith(Start)) Fail(ExpectedButFound("Stylesheet", Start, Ahead(Start.size())));
    pos_ += Start.size();
    const std::size_t end = data_.find("?>", pos_);
    if (end == std::string_view::npos) Fail(StyleSheetEnd);
    ConfigPrologItem item;
    item.ItemKind = ConfigPrologItem::Kind::StyleSheet;
    item.Text = std::string(data_.substr(pos_, end - pos_));
    prolog_.push_back(std::move(item));
    pos_ = end + 2;
}

std::string ConfigReader::ReadComment() {
    pos_ += 4;  // "<!--"
    const std::size_t dashes = data_.find("--", pos_);
    if (dashes == std::string_view::npos) Fail(CommentEnd);
    if (dashes + 2 >= data_.size()) Fail(CommentEnd);
    if (data_[dashes + 2] != '>') Fail(CommentDashes);
    std::string text(data_.substr(pos_, dashes - pos_));
    pos_ = dashes + 3;
    return text;
}

std::string ConfigReader::ReadDocType() {
    // Up to the ">" that closes it, past quoted texts and an internal subset.
    const std::size_t start = pos_;
    int brackets = 0;
    char quote = 0;
    for (std::size_t i = pos_ + 9; i < data_.size(); ++i) {
        const char c = data_[i];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++brackets;
        } else if (c == ']') {
            if (brackets > 0) --brackets;
        } else if (c == '>' && brackets == 0) {
            pos_ = i + 1;
            return std::string(data_.substr(start, pos_ - start));
        }
    }
    Fail(DocTypeEnd);
}

std::string ConfigReader::ReadCData() {
    constexpr std::string_view Start = "<![CDATA[";
    if (!StartsWith(Start)) Fail(ExpectedButFound("CDATA", Start, Ahead(Start.size())));
    pos_ += Start.size();
    const std::size_t end = data_.find("]]>", pos_);
    if (end == std::string_view::npos) Fail(CDataEnd);
    std::string text(data_.substr(pos_, end - pos_));
    pos_ = end + 3;
    return text;
}

std::string ConfigReader::ReadName() {
    const std::size_t start = pos_;
    if (!AtEnd() && (data_[pos_] == '?' || data_[pos_] == '!')) return std::string();
    while (!AtEnd() && IsNameChar(data_[pos_])) ++pos_;
    return std::string(data_.substr(start, pos_ - start));
}

void ConfigReader::ReadAttribute(std::vector<ConfigAttribute>& attributes) {
    ConfigAttribute a;
    a.Name = DecodeEntities(ReadName());
    if (a.Name.empty()) Fail(BadPropertyChar(Current()));
    SkipBlanks();
    if (AtEnd() || data_[pos_] != '=') Fail(BadPropertyChar(Current()));
    ++pos_;
    SkipBlanks();
    if (AtEnd() || (data_[pos_] != '"' && data_[pos_] != '\'')) Fail(BadPropertyQuote(Current()));
    const char quote = data_[pos_++];
    const std::size_t end = data_.find(quote, pos_);
    if (end == std::string_view::npos) {
        pos_ = data_.size();
        Fail(ExpectedEnd(Current()));
    }
    a.Value = DecodeEntities(data_.substr(pos_, end - pos_));
    pos_ = end + 1;
    attributes.push_back(std::move(a));
}

void ConfigReader::ReadAttributes(std::vector<ConfigAttribute>& attributes) {
    for (;;) {
        SkipBlanks();
        if (AtEnd()) Fail(ExpectedEnd(Current()));
        if (data_[pos_] == '>' || data_[pos_] == '/') return;
        ReadAttribute(attributes);
    }
}

std::string ConfigReader::ReadStartName() {
    ++pos_;  // "<"
    std::string name = ReadName();
    if (name.empty()) Fail(NoValidName);
    return name;
}

void ConfigReader::ReadElementBody(ConfigElement& element, const std::string& rawName, int depth) {
    ReadAttributes(element.Attributes());
    if (data_[pos_] == '/') {
        ++pos_;
        if (AtEnd() || data_[pos_] != '>') Fail(ExpectedEnd(Current()));
        ++pos_;
        return;
    }
    ++pos_;  // ">"
    ReadContent(element, rawName, depth);
}

void ConfigReader::ReadContent(ConfigElement& element, const std::string& rawName, int depth) {
    // Text runs between child nodes. In an element without child elements
    // the text is the value, blanks and all, also when a comment stands in
    // it ("6 <!--c-->" is "6 "). Where there are child elements, the blanks
    // around each run are layout (text mixed with elements only comes from
    // files edited by hand, and this keeps it stable across saves).
    std::vector<std::string> runs;
    auto run = [&]() -> std::string& {
        if (runs.empty()) runs.emplace_back();
        return runs.back();
    };
    auto finish = [&]() {
        const bool hasChildren = element.HasChildElements();
        std::string value;
        for (const auto& text : runs) value += hasChildren ? TrimBlanks(text) : std::string_view(text);
        element.SetValue(std::move(value));
    };
    for (;;) {
        if (AtEnd()) {
            finish();
            Fail(WrongEndTag(rawName, std::string()));
        }
        if (data_[pos_] != '<') {
            std::size_t end = data_.find('<', pos_);
            if (end == std::string_view::npos) end = data_.size();
            run() += DecodeEntities(data_.substr(pos_, end - pos_));
            pos_ = end;
            continue;
        }
        if (StartsWith("</")) {
            pos_ += 2;
            const std::string name = ReadName();
            if (name.empty()) Fail(NoValidName);
            if (name != rawName) Fail(WrongEndTag(rawName, name));
            SkipBlanks();
            if (AtEnd() || data_[pos_] != '>') Fail(ExpectedEnd(Current()));
            ++pos_;
            finish();
            return;
        }
        if (StartsWith("<!--")) {
            element.AddComment(ReadComment());
            runs.emplace_back();
        } else if (StartsWith("<!-")) {
            Fail(ExpectedButFound("Comment", "<!--", Ahead(4)));
        } else if (StartsWith("<![")) {
            run() += ReadCData();
        } else {
            if (depth >= ConfigDocument::MaxDepth) Fail(TooDeep);
            // The child joins the tree only with a valid name, so that what a
            // failed read leaves behind can still be written as a document.
            const std::string name = ReadStartName();
            ConfigElement& child = element.AddChild(DecodeEntities(name));
            ReadElementBody(child, name, depth + 1);
            runs.emplace_back();
        }
    }
}
