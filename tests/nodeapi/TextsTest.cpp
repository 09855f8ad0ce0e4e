// Texts of the small helpers: exception messages, property value forms, and
// numbers that keep "0.5" (never "0,5") while the host has a decimal comma.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <iomanip>
#include <locale>
#include <sstream>
#include <string>

#include "nodeapi/Exceptions.h"
#include "nodeapi/Float.h"
#include "nodeapi/PropertyValue.h"
#include "nodeapi/SwissKnife.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::RaisedWhere;

namespace {

template <class T>
std::string Parsed(bool (*parse)(const std::string&, T&), const std::string& text) {
    T value{};
    const bool parsed = parse(text, value);
    std::ostringstream out;
    out << ' ' << std::setprecision(9) << +value;
    return parsed ? out.str() : " -";
}

bool HasDecimalComma(const char* name) {
    const std::string previous = setlocale(LC_ALL, nullptr);
    bool comma =
        setlocale(LC_ALL, name) != nullptr && strcmp(localeconv()->decimal_point, ",") == 0;
    setlocale(LC_ALL, previous.c_str());
    return comma;
}

// Whether de_DE, with its decimal comma, is the system's or could be generated
// with localedef under a temporary LOCPATH.
bool DecimalCommaLocale() {
    if (HasDecimalComma("de_DE.UTF-8"))
        return true;
    std::string dir = ::testing::TempDir() + "kacq_locale_XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr)
        return false;
    setenv("LOCPATH", dir.c_str(), 1);
    const std::string make =
        "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
    return system(make.c_str()) == 0 && HasDecimalComma("de_DE.UTF-8");
}

struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

// The host's C and C++ locales; the C++ one from facets, as glibc leaks a
// little for each locale opened by name under LOCPATH.
struct HostLocale {
    explicit HostLocale(const std::string& name) {
        setlocale(LC_ALL, name.c_str());
        std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    }
    ~HostLocale() {
        std::locale::global(std::locale::classic());
        setlocale(LC_ALL, "C");
    }
};

} // namespace

TEST(ExceptionsTest, MessageIsTextCutAt255ThenSourceUnderSrcAndLine) {
    const std::string x300(300, 'x');
    EXPECT_EQ("Property: " + std::string(255, 'x') + " (nodeapi/Test:7)", RaisedWhere([&] {
                  NODEAPI_RAISE_AT(PropertyException, "nodeapi/Test", 7, "%s", x300.c_str());
              }));
    const std::string raised = RaisedWhere([] { NODEAPI_RAISE(RuntimeException, "here"); });
    EXPECT_EQ(KacqTest::Where("Runtime", "here", "TextsTest", __LINE__ - 1), raised);
    const std::pair<const char*, const char*> cases[] = {
        {"/a/src/b/src/camera/TliPortBase.h", "camera/TliPortBase"},
        {"src/nodeapi/IntReg.cpp", "nodeapi/IntReg"},
        {"/elsewhere/tests/Thing.cpp", "Thing"},
        {"NoExtension", "NoExtension"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.second, SourceNameOf(c.first)) << c.first;
}

// Each text as int64 int32 uint16 uint32 uint64 float. The printed form of the
// largest float rounds to it; twice it does not.
TEST(PropertyValueTest, NumberForms) {
    const struct {
        const char* text;
        const char* parsed;
    } cases[] = {
        {"0x1F", "31 31 31 31 31 0"},
        {"&h1F", "31 31 31 31 31 -"},
        {"&h", "- - - - - -"},
        {"010", "10 10 10 10 10 10"},
        {"  -42", "-42 -42 - - - -42"},
        {"0x", "- - - - - 0"},
        {"", "- - - - - -"},
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
        {"4294967296", "4294967296 - - - 4294967296 4.2949673e+09"},
        {"1.5", "1 1 1 1 1 1.5"},
        {".5", "- - - - - 0.5"},
        {"3.40282347e+38", "3 3 3 3 3 3.40282347e+38"},
        {"6.8e38", "6 6 6 6 6 -"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(" " + std::string(c.parsed),
                  Parsed(ParseInt64, c.text) + Parsed(ParseInt32, c.text) +
                      Parsed(ParseUInt16, c.text) + Parsed(ParseUInt32, c.text) +
                      Parsed(ParseUInt64, c.text) + Parsed(ParseFloat, c.text))
            << "«" << c.text << "»";
}

TEST(PropertyValueTest, AccessModeTexts) {
    std::string texts;
    for (const char* text : {"RW", "RO", "WO", "NP", "NE"}) {
        EAccessMode mode = RW;
        texts += std::string(ParseAccessMode(text, mode) ? AccessModeText(mode) : "-") + " ";
    }
    EXPECT_EQ("RW RO WO NP NE _UndefinedAccessMode",
              texts + AccessModeText(static_cast<EAccessMode>(9)));
}
TEST(ClassicLocaleTest, NumbersInTextsKeepTheDecimalPointUnderADecimalCommaLocale) {
    if (!DecimalCommaLocale())
        GTEST_SKIP() << "no de_DE.UTF-8 locale, and localedef (Debian package 'locales') could "
                        "not generate one";
    KacqTest::TestNodeMap map;
    map.Add<KacqTest::TestInteger>("Raw", {{"Value", "3"}});
    auto& delay =
        map.Add<CSwissKnife>("Delay_s", KacqTest::Props("Formula=RAW/1024;pVariable=RAW=Raw"));
    auto& gain = map.Add<CFloat>("Gain", {{"Value", "1.5"}, {"Min", "-2.5"}, {"Max", "10"}});
    map.Build();

    HostLocale host("de_DE.UTF-8");
    std::ostringstream stream;
    stream << 0.5 << ' ' << localeconv()->decimal_point;
    ASSERT_EQ("0,5 ,", stream.str()) << "the host locale is in effect";

    EXPECT_EQ("0.00292969 1.5", delay.ToString() + " " + gain.ToString());
    EXPECT_EQ("OutOfRange: Value 12.500000 must be smaller than or equal 10.000000",
              KacqTest::Raised([&] { gain.SetValue(12.5); }));
    gain.FromString("0.25");
    const std::string quarter = gain.ToString();
    gain.FromString("0,75"); // a comma is no decimal separator: this reads as 0
    EXPECT_EQ("0.25 0", quarter + " " + gain.ToString());
}
