// A small JSON reader for checking the program's output lines in tests: objects, arrays,
// strings (with \u escapes), numbers, true, false and null. Throws std::runtime_error on
// anything else, so a malformed line fails the test that reads it.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <vector>

namespace velto::test {

struct JsonValue {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string text;
    std::vector<JsonValue> items;
    std::map<std::string, JsonValue> fields;

    bool Has(const std::string& key) const { return fields.count(key) > 0; }
    const JsonValue& operator[](const std::string& key) const {
        const auto found = fields.find(key);
        if (found == fields.end())
            throw std::runtime_error("no field " + key);
        return found->second;
    }
};

inline JsonValue ParseJson(const std::string& text) {
    size_t at = 0;
    const auto fail = [&](const char* what) {
        throw std::runtime_error(std::string(what) + " at " + std::to_string(at) + " in " + text);
    };
    const auto skip = [&] {
        while (at < text.size() && (text[at] == ' ' || text[at] == '\t'))
            ++at;
    };
    const auto expect = [&](char c) {
        skip();
        if (at >= text.size() || text[at] != c)
            fail("expected character");
        ++at;
    };
    std::function<JsonValue()> value;
    const auto string = [&] {
        expect('"');
        std::string out;
        while (at < text.size() && text[at] != '"') {
            char c = text[at++];
            if (static_cast<unsigned char>(c) < 0x20)
                fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (at >= text.size())
                fail("cut escape");
            c = text[at++];
            switch (c) {
            case 'n':
                out += '\n';
                break;
            case 'r':
                out += '\r';
                break;
            case 't':
                out += '\t';
                break;
            case 'b':
                out += '\b';
                break;
            case 'f':
                out += '\f';
                break;
            case '"':
            case '\\':
            case '/':
                out += c;
                break;
            case 'u': {
                if (at + 4 > text.size())
                    fail("cut \\u");
                const unsigned code = std::stoul(text.substr(at, 4), nullptr, 16);
                at += 4;
                if (code < 0x80) {
                    out += static_cast<char>(code);
                } else if (code < 0x800) {
                    out += static_cast<char>(0xC0 | (code >> 6));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                } else {
                    out += static_cast<char>(0xE0 | (code >> 12));
                    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                    out += static_cast<char>(0x80 | (code & 0x3F));
                }
                break;
            }
            default:
                fail("unknown escape");
            }
        }
        expect('"');
        return out;
    };
    value = [&]() -> JsonValue {
        skip();
        if (at >= text.size())
            fail("value missing");
        JsonValue v;
        const char c = text[at];
        if (c == '{') {
            ++at;
            v.kind = JsonValue::Object;
            skip();
            if (at < text.size() && text[at] == '}') {
                ++at;
                return v;
            }
            for (;;) {
                const std::string key = string();
                expect(':');
                v.fields[key] = value();
                skip();
                if (at < text.size() && text[at] == ',') {
                    ++at;
                    continue;
                }
                expect('}');
                return v;
            }
        }
        if (c == '[') {
            ++at;
            v.kind = JsonValue::Array;
            skip();
            if (at < text.size() && text[at] == ']') {
                ++at;
                return v;
            }
            for (;;) {
                v.items.push_back(value());
                skip();
                if (at < text.size() && text[at] == ',') {
                    ++at;
                    continue;
                }
                expect(']');
                return v;
            }
        }
        if (c == '"') {
            v.kind = JsonValue::String;
            v.text = string();
            return v;
        }
        for (const auto& [word, kind, flag] : {std::tuple{"true", JsonValue::Bool, true},
                                               std::tuple{"false", JsonValue::Bool, false},
                                               std::tuple{"null", JsonValue::Null, false}}) {
            if (text.compare(at, std::string(word).size(), word) == 0) {
                at += std::string(word).size();
                v.kind = kind;
                v.boolean = flag;
                return v;
            }
        }
        size_t used = 0;
        try {
            v.number = std::stod(text.substr(at), &used);
        } catch (const std::exception&) {
            fail("bad value");
        }
        at += used;
        v.kind = JsonValue::Number;
        return v;
    };
    JsonValue result = value();
    skip();
    if (at != text.size())
        fail("text after the value");
    return result;
}

} // namespace velto::test
