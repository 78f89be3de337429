// One JSON object on one line, built field by field in insertion order.
#pragma once

#include <cstdint>
#include <string>

namespace velto::cli {

class TJsonLine {
public:
    TJsonLine& Add(const char* key, const std::string& value);
    TJsonLine& Add(const char* key, const char* value) { return Add(key, std::string(value)); }
    TJsonLine& Add(const char* key, std::int64_t value);
    TJsonLine& Add(const char* key, int value) {
        return Add(key, static_cast<std::int64_t>(value));
    }
    TJsonLine& Add(const char* key, double value);
    TJsonLine& Add(const char* key, bool value);
    TJsonLine& AddNull(const char* key);
    // A value that is already JSON text (an array or object built elsewhere).
    TJsonLine& AddRaw(const char* key, const std::string& json);
    // The object without a line feed.
    std::string Text() const { return text_ + "}"; }

private:
    void Key(const char* key);
    std::string text_ = "{";
};

// A JSON string literal with quotes; bytes that are not valid UTF-8 become U+FFFD, so that any
// file name still yields a valid line.
std::string JsonString(const std::string& text);

} // namespace velto::cli
