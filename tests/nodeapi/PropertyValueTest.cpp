// Property value forms: integers with their prefixes, narrow forms, floats,
// flags and enumerated texts.
#include "nodeapi/PropertyValue.h"

#include <gtest/gtest.h>

using namespace NodeApi;

TEST(PropertyValueTest, Int64Forms) {
    const struct {
        const char* text;
        bool ok;
        int64_t value;
    } cases[] = {
        {"0x1F", true, 31},
        {"&h1F", true, 31},
        {"&h", false, 0}, // two characters: decimal, and no digits
        {"12abc", true, 12},
        {"010", true, 10}, // no octal
        {"  -42", true, -42},
        {"0x", false, 0},
        {"", false, 0},
        {"abc", false, 0},
        {"9223372036854775807", true, INT64_MAX},
        {"-9223372036854775808", true, INT64_MIN},
        {"9223372036854775808", false, 0},
        {"0x7FFFFFFFFFFFFFFF", true, INT64_MAX},
        {"0xFFFFFFFFFFFFFFFF", false, 0},
    };
    for (const auto& c : cases) {
        int64_t v = 0;
        const bool ok = ParseInt64(c.text, v);
        EXPECT_EQ(std::make_pair(c.ok, c.value), std::make_pair(ok, ok ? v : 0)) << c.text;
    }
}

TEST(PropertyValueTest, NarrowIntegerFormsFailWhenTheValueDoesNotFit) {
    uint16_t u16 = 0;
    uint32_t u32 = 0;
    int32_t i32 = 0;
    uint64_t u64 = 0;
    EXPECT_EQ((std::vector<bool>{true, false, false, true}),
              (std::vector<bool>{ParseUInt16("65535", u16), ParseUInt16("70000", u16),
                                 ParseUInt16("-1", u16), ParseUInt16("0xFFFF", u16)}));
    EXPECT_EQ(65535, u16);
    EXPECT_EQ((std::vector<bool>{true, false, false}),
              (std::vector<bool>{ParseUInt32("4294967295", u32), ParseUInt32("4294967296", u32),
                                 ParseUInt32("-3", u32)}));
    EXPECT_TRUE(ParseInt32("-2147483648", i32));
    EXPECT_EQ(INT32_MIN, i32);
    EXPECT_FALSE(ParseInt32("2147483648", i32));
    EXPECT_TRUE(ParseUInt64("0xFFFFFFFFFFFFFFFF", u64));
    EXPECT_EQ(UINT64_MAX, u64);
    EXPECT_FALSE(ParseUInt64("0x10000000000000000", u64));
}

TEST(PropertyValueTest, FloatForms) {
    const struct {
        const char* text;
        bool ok;
        float value;
    } cases[] = {
        {"1.5", true, 1.5f},
        {" -2e3", true, -2000.0f},
        {"3abc", true, 3.0f},
        {".5", true, 0.5f},
        {"1e", true, 1.0f},
        {"abc", false, 0},
        {"", false, 0},
        {"1e39", false, 0},
        {"inf", false, 0},
        {"-", false, 0},
        // The printed form of the largest float rounds to it; twice it does not.
        {"3.40282347e+38", true, 3.40282347e+38f},
        {"6.8e38", false, 0},
    };
    for (const auto& c : cases) {
        float v = 0;
        const bool ok = ParseFloat(c.text, v);
        EXPECT_EQ(std::make_pair(c.ok, c.value), std::make_pair(ok, ok ? v : 0.0f)) << c.text;
    }
}

// The texts messages print; the parses of the enumerated properties are
// checked with the construction errors.
TEST(PropertyValueTest, AccessModeTexts) {
    const char* modes[] = {"RW", "RO", "WO", "NP", "NE"};
    for (int i = 0; i < 5; ++i) {
        EAccessMode mode = RW;
        EXPECT_TRUE(ParseAccessMode(modes[i], mode));
        EXPECT_STREQ(modes[i], AccessModeText(mode));
    }
    EXPECT_STREQ("_UndefinedAccessMode", AccessModeText(static_cast<EAccessMode>(9)));
}
