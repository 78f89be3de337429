// The system's integer and float conversions and the pad-colour arithmetic need no libraries.
#include "FFmpeg.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace velto {
namespace {

TEST(ConversionTest, IntegersFollowTheSystemRules) {
    const struct {
        const char* text;
        int value;
    } good[] = {{"0", 0},
                {"42", 42},
                {"  42", 42},
                {"-17", -17},
                {"+5", 5},
                {"$1F", 31},
                {"0x10", 16},
                {"0X10", 16},
                {"-$10", -16},
                {"2147483647", INT32_MAX},
                {"-2147483648", INT32_MIN},
                {"$FFFFFFFF", -1}};
    for (const auto& row : good)
        EXPECT_EQ(StrToInt(row.text), row.value) << row.text;

    const char* bad[] = {"",  " ",  "abc",        "12a", "42 ", "1.5", "2147483648", "-2147483649",
                         "$", "0x", "$100000000", "--1", "1e3"};
    for (const char* text : bad) {
        try {
            StrToInt(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string("'") + text + "' is not a valid integer value");
        }
    }
}

TEST(ConversionTest, FloatsFollowTheSystemRules) {
    const struct {
        const char* text;
        float value;
    } good[] = {{"0.5", 0.5f}, {" 2 ", 2.0f}, {"-1.25", -1.25f}, {"1e2", 100.0f},
                {".5", 0.5f},  {"5.", 5.0f},  {"+3E-1", 0.3f}};
    for (const auto& row : good)
        EXPECT_FLOAT_EQ(StrToFloat(row.text), row.value) << row.text;

    const char* bad[] = {"", "abc", "1,5", "inf", "nan", "0x10", "1e", "1e400", "-", "1.2.3"};
    for (const char* text : bad) {
        try {
            StrToFloat(text);
            ADD_FAILURE() << "accepted " << text;
        } catch (const EConvertError& error) {
            EXPECT_EQ(std::string(error.what()),
                      std::string("'") + text + "' is not a valid floating point value");
        }
    }
}

TEST(ConversionTest, PadColourBecomesFullRangeYCbCr) {
    const struct {
        std::uint32_t rgb;
        int y, cb, cr;
    } rows[] = {{0x000000, 0, 128, 128},  {0xFFFFFF, 255, 128, 128}, {0x0000FF, 76, 85, 255},
                {0xFF0000, 29, 255, 107}, {0xFF000000, 0, 128, 128}, {0x00FF00, 150, 43, 21}};
    for (const auto& row : rows) {
        int ycbcr[3];
        RgbToYCbCr(row.rgb, ycbcr);
        EXPECT_EQ(ycbcr[0], row.y) << std::hex << row.rgb;
        EXPECT_EQ(ycbcr[1], row.cb) << std::hex << row.rgb;
        EXPECT_EQ(ycbcr[2], row.cr) << std::hex << row.rgb;
    }
}

} // namespace
} // namespace velto
