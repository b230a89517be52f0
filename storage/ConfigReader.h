#pragma once
// Reader for the XML subset of configuration files. It fills a root element
// and the items around it as it goes, so that after an error they hold what
// was read before it. Used by ConfigDocument::Parse.

#include "ConfigDocument.h"

#include <string>
#include <string_view>
#include <vector>

class ConfigReader {
public:
    ConfigReader(std::string_view data, ConfigElement& root, std::vector<ConfigPrologItem>& prolog,
                 std::vector<std::string>& epilog);

    // Raises EFailure with the reader's message when data is not a document.
    void Read();

private:
    bool AtEnd() const { return pos_ >= data_.size(); }
    bool StartsWith(std::string_view text) const;
    // The next n bytes (fewer at the end), for "expected ... but found ..." texts.
    std::string Ahead(std::size_t n) const;
    // The byte at the read position as a text, empty at the end of data.
    std::string Current() const;
    [[noreturn]] static void Fail(const std::string& message);

    void SkipPrologFiller();
    void SkipBlanks();
    void ReadProlog();
    void ReadEpilog();
    void ReadDeclaration();
    void ReadStyleSheet();
    std::string ReadComment();
    std::string ReadDocType();
    std::string ReadCData();
    std::string ReadName();
    void ReadAttributes(std::vector<ConfigAttribute>& attributes);
    void ReadDeclarationAttributes(std::vector<ConfigAttribute>& attributes);
    void ReadAttribute(std::vector<ConfigAttribute>& attributes);
    std::string ReadStartName();
    // rawName: the name as it stands in the start tag, which the end tag
    // must repeat exactly; the element holds it with references replaced.
    void ReadElementBody(ConfigElement& element, const std::string& rawName, int depth);
    void ReadContent(ConfigElement& element, const std::string& rawName, int depth);

    std::string_view data_;
    std::size_t pos_ = 0;
    ConfigElement& root_;
    std::vector<ConfigPrologItem>& prolog_;
    std::vector<std::string>& epilog_;
};

// Replaces the five named entities (any case) and numeric character
// references by their bytes; anything else is kept as it stands.
std::string DecodeEntities(std::string_view text);
