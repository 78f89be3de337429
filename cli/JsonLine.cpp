#include "JsonLine.h"

#include <cmath>
#include <cstdio>

namespace velto::cli {

namespace {

// Length of the valid UTF-8 sequence starting at text[i], or 0.
size_t Utf8Length(const std::string& text, size_t i) {
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    size_t length = 0;
    unsigned minimum = 0;
    unsigned code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const size_t length = Utf8Length(text, i);
            if (length == 0) {
                out += "\\ufffd";
                ++i;
            } else {
                out.append(text, i, length);
                i += length;
            }
            continue;
        }
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                out += escaped;
            } else {
                out += static_cast<char>(c);
            }
        }
        ++i;
    }
    return out + "\"";
}

void TJsonLine::Key(const char* key) {
    if (text_.size() > 1)
        text_ += ',';
    text_ += JsonString(key);
    text_ += ':';
}

TJsonLine& TJsonLine::Add(const char* key, const std::string& value) {
    Key(key);
    text_ += JsonString(value);
    return *this;
}

TJsonLine& TJsonLine::Add(const char* key, std::int64_t value) {
    Key(key);
    text_ += std::to_string(value);
    return *this;
}

TJsonLine& TJsonLine::Add(const char* key, double value) {
    if (!std::isfinite(value))
        return AddNull(key);
    Key(key);
    char number[32];
    std::snprintf(number, sizeof number, "%.3f", value);
    text_ += number;
    return *this;
}

TJsonLine& TJsonLine::Add(const char* key, bool value) {
    Key(key);
    text_ += value ? "true" : "false";
    return *this;
}

TJsonLine& TJsonLine::AddNull(const char* key) {
    Key(key);
    text_ += "null";
    return *this;
}

TJsonLine& TJsonLine::AddRaw(const char* key, const std::string& json) {
    Key(key);
    text_ += json;
    return *this;
}

} // namespace velto::cli
