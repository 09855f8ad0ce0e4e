// Property value forms: integers with their prefixes and widths, floats, and
// the access mode texts messages print.
#include "nodeapi/PropertyValue.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>

using namespace NodeApi;

namespace {

// The parsed value as text, or "-" when refused.
template <class T>
std::string Parsed(bool (*parse)(const std::string&, T&), const std::string& text) {
    T value{};
    if (!parse(text, value))
        return "-";
    std::ostringstream out;
    out << std::setprecision(9) << +value;
    return out.str();
}

} // namespace

// Each text through every number form: int64 int32 uint16 uint32 uint64 float.
// A number ends at the first character that cannot continue it; "0x" and
// "&h" start a hexadecimal integer; there is no octal. The printed form of
// the largest float rounds to it; twice it does not.
TEST(PropertyValueTest, NumberForms) {
    const struct {
        const char* text;
        const char* parsed;
    } cases[] = {
        {"0x1F", "31 31 31 31 31 0"},
        {"&h1F", "31 31 31 31 31 -"},
        {"&h", "- - - - - -"},
        {"12abc", "12 12 12 12 12 12"},
        {"010", "10 10 10 10 10 10"},
        {"  -42", "-42 -42 - - - -42"},
        {"0x", "- - - - - 0"},
        {"", "- - - - - -"},
        {"abc", "- - - - - -"},
        {"9223372036854775807", "9223372036854775807 - - - 9223372036854775807 9.22337204e+18"},
        {"-9223372036854775808", "-9223372036854775808 - - - - -9.22337204e+18"},
        {"9223372036854775808", "- - - - 9223372036854775808 9.22337204e+18"},
        {"0x7FFFFFFFFFFFFFFF", "9223372036854775807 - - - 9223372036854775807 0"},
        {"0xFFFFFFFFFFFFFFFF", "- - - - 18446744073709551615 0"},
        {"0x10000000000000000", "- - - - - 0"},
        {"-2147483648", "-2147483648 -2147483648 - - - -2.14748365e+09"},
        {"-2147483649", "-2147483649 - - - - -2.14748365e+09"},
        {"2147483648", "2147483648 - - 2147483648 2147483648 2.14748365e+09"},
        {"0xFFFF", "65535 65535 65535 65535 65535 0"},
        {"65536", "65536 65536 - 65536 65536 65536"},
        {"-1", "-1 -1 - - - -1"},
        {"4294967296", "4294967296 - - - 4294967296 4.2949673e+09"},
        {"1.5", "1 1 1 1 1 1.5"},
        {" -2e3", "-2 -2 - - - -2000"},
        {".5", "- - - - - 0.5"},
        {"1e39", "1 1 1 1 1 -"},
        {"-", "- - - - - -"},
        {"3.40282347e+38", "3 3 3 3 3 3.40282347e+38"},
        {"6.8e38", "6 6 6 6 6 -"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.parsed, Parsed(ParseInt64, c.text) + " " + Parsed(ParseInt32, c.text) + " " +
                                Parsed(ParseUInt16, c.text) + " " + Parsed(ParseUInt32, c.text) +
                                " " + Parsed(ParseUInt64, c.text) + " " +
                                Parsed(ParseFloat, c.text))
            << "«" << c.text << "»";
}

// The parses of the enumerated properties are checked with the construction
// errors.
TEST(PropertyValueTest, AccessModeTexts) {
    std::string texts;
    for (const char* text : {"RW", "RO", "WO", "NP", "NE"}) {
        EAccessMode mode = RW;
        texts += std::string(ParseAccessMode(text, mode) ? AccessModeText(mode) : "-") + " ";
    }
    EXPECT_EQ("RW RO WO NP NE _UndefinedAccessMode",
              texts + AccessModeText(static_cast<EAccessMode>(9)));
}
