#pragma once
#include <string>
#include <string_view>
#include <vector>

// Builds one JSON document. Texts from the simulator are bytes; a byte from
// 128 to 255 is taken as Latin-1 and written as \u00XX, so the document is
// plain ASCII and valid whatever the simulator reports.
class JsonWriter {
public:
    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray();
    JsonWriter& EndArray();
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view value);
    JsonWriter& Number(long long value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // A value that is already JSON text (a member taken from another document).
    JsonWriter& Raw(std::string_view json);

    // Key and value in one call.
    JsonWriter& Field(std::string_view name, std::string_view value) { return Key(name).String(value); }
    JsonWriter& Field(std::string_view name, const char* value) { return Key(name).String(value); }
    JsonWriter& Field(std::string_view name, long long value) { return Key(name).Number(value); }
    JsonWriter& Field(std::string_view name, int value) { return Key(name).Number(value); }
    JsonWriter& Field(std::string_view name, bool value) { return Key(name).Bool(value); }
    // A text, or null where there is none (empty).
    JsonWriter& TextOrNull(std::string_view name, std::string_view value) {
        return value.empty() ? Key(name).Null() : Key(name).String(value);
    }

    // The document with a final line feed.
    std::string Text() const { return out_ + "\n"; }

    static std::string Quote(std::string_view value);

private:
    void BeforeValue();

    std::string out_;
    // One entry per open object or array: whether it has a member yet.
    std::vector<bool> hasMember_;
    bool afterKey_ = false;
};
