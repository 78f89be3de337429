// Text-to-number conversions with the system's rules and messages, and the small value helpers
// shared by the option handlers.
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <locale.h>

#include "FFmpeg.h"
#include "MyUtils.h"

namespace velto {

namespace {

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

int HexValue(char c) {
    if (IsDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Leading spaces, optional sign, then decimal digits or hexadecimal after "$" or "0x". The whole
// rest must be digits. Decimal values are range checked against [minimum, maximum]; hexadecimal
// values may use every bit of the unsigned type, as the system's conversion allows.
bool ParseInteger(const std::string& text, std::int64_t minimum, std::int64_t maximum,
                  std::uint64_t hexMaximum, std::int64_t& result) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= text.size())
        return false;
    std::uint64_t value = 0;
    const std::uint64_t limit = hex ? hexMaximum
                                    : (negative ? static_cast<std::uint64_t>(-(minimum + 1)) + 1
                                                : static_cast<std::uint64_t>(maximum));
    for (; i < text.size(); ++i) {
        const int digit = hex ? HexValue(text[i]) : (IsDigit(text[i]) ? text[i] - '0' : -1);
        if (digit < 0)
            return false;
        const unsigned base = hex ? 16 : 10;
        if (value > (limit - digit) / base)
            return false;
        value = value * base + digit;
    }
    // Two's complement wrap of a full-width hexadecimal value ($FFFFFFFF is -1).
    if (hex && value > static_cast<std::uint64_t>(maximum))
        value -= (hexMaximum + 1 == 0 ? 0 : hexMaximum + 1);
    // Negated in unsigned arithmetic so that the most negative value does not overflow.
    result = static_cast<std::int64_t>(negative ? 0 - value : value);
    return true;
}

[[noreturn]] void InvalidInteger(const std::string& text) {
    throw EConvertError(StringPrintf("'%s' is not a valid integer value", text.c_str()));
}

} // namespace

int StrToInt(const std::string& text) {
    std::int64_t value = 0;
    if (!ParseInteger(text, INT32_MIN, INT32_MAX, UINT32_MAX, value))
        InvalidInteger(text);
    return static_cast<int>(value);
}

std::int64_t StrToInt64(const std::string& text) {
    std::int64_t value = 0;
    if (!ParseInteger(text, INT64_MIN, INT64_MAX, UINT64_MAX, value))
        InvalidInteger(text);
    return value;
}

float StrToFloat(const std::string& text) {
    // Digits with the locale's decimal separator and an optional exponent; spaces around are
    // allowed. Hexadecimal, "inf" and "nan", which strtod would take, are not numbers here.
    const char* point = localeconv()->decimal_point;
    const char separator = point && *point ? *point : '.';
    std::size_t i = 0;
    auto skipSpaces = [&] {
        while (i < text.size() && text[i] == ' ')
            ++i;
    };
    skipSpaces();
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        ++i;
    std::size_t digits = 0;
    while (i < text.size() && IsDigit(text[i]))
        ++i, ++digits;
    if (i < text.size() && text[i] == separator) {
        ++i;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++digits;
    }
    bool valid = digits > 0;
    if (valid && i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        std::size_t exponentDigits = 0;
        while (i < text.size() && IsDigit(text[i]))
            ++i, ++exponentDigits;
        valid = exponentDigits > 0;
    }
    const std::size_t end = i;
    skipSpaces();
    if (!valid || i != text.size())
        throw EConvertError(StringPrintf("'%s' is not a valid floating point value", text.c_str()));
    const std::string number = text.substr(start, end - start);
    const double value = std::strtod(number.c_str(), nullptr);
    // Out of single range is refused rather than stored as infinity: later steps turn these
    // values into integers (microseconds, quality units).
    if (!std::isfinite(value) || std::fabs(value) > FLT_MAX)
        throw EConvertError(StringPrintf("'%s' is not a valid floating point value", text.c_str()));
    return static_cast<float>(value);
}

std::string Trim(const std::string& text) {
    std::size_t first = 0;
    std::size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return text.substr(first, last - first);
}

void RgbToYCbCr(std::uint32_t rgb, int ycbcr[3]) {
    const int r = static_cast<int>(rgb & 0xFF);
    const int g = static_cast<int>((rgb >> 8) & 0xFF);
    const int b = static_cast<int>((rgb >> 16) & 0xFF);
    // ">> 10" on a negative sum would be implementation-defined before C++20; floor division
    // by 1024 is what the coefficients need.
    auto floorDiv1024 = [](int value) {
        return value >= 0 ? value / 1024 : -((-value + 1023) / 1024);
    };
    ycbcr[0] = floorDiv1024(307 * r + 602 * g + 117 * b + 512);
    ycbcr[1] = floorDiv1024(-173 * r - 340 * g + 512 * b + 511) + 128;
    ycbcr[2] = floorDiv1024(512 * r - 429 * g - 84 * b + 511) + 128;
}

} // namespace velto
