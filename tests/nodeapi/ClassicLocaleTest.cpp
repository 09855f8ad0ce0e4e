// Texts the framework produces and parses keep the classic conventions
// ("0.5", never "0,5") while the host process runs in a locale with a decimal
// comma: one of the system's, else one generated with localedef into a
// temporary folder; without either the test is skipped.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <string.h>

#include <locale>
#include <sstream>
#include <string>

#include "nodeapi/Float.h"
#include "nodeapi/SwissKnife.h"
#include "support/Raised.h"
#include "support/TestNodeMap.h"

using namespace NodeApi;
using KacqTest::TestInteger;

namespace {

bool HasDecimalComma(const char* name) {
    const std::string previous = setlocale(LC_ALL, nullptr);
    bool comma =
        setlocale(LC_ALL, name) != nullptr && strcmp(localeconv()->decimal_point, ",") == 0;
    setlocale(LC_ALL, previous.c_str());
    return comma;
}

// A locale with a decimal comma: the system's de_DE, else one generated with
// localedef under a temporary LOCPATH; "" when neither can be had.
std::string DecimalCommaLocale() {
    if (HasDecimalComma("de_DE.UTF-8"))
        return "de_DE.UTF-8";
    std::string dir = ::testing::TempDir() + "kacq_locale_XXXXXX";
    if (mkdtemp(&dir[0]) == nullptr)
        return "";
    setenv("LOCPATH", dir.c_str(), 1);
    const std::string make =
        "localedef -i de_DE -f UTF-8 '" + dir + "/de_DE.UTF-8' >/dev/null 2>&1";
    return system(make.c_str()) == 0 && HasDecimalComma("de_DE.UTF-8") ? "de_DE.UTF-8" : "";
}

// The C++ side of a decimal-comma host: classic but for the separator.
struct CommaNumbers : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
};

// Sets the process locale as a host would (C, and the C++ global locale),
// and back. The C++ locale is built from facets rather than by name, as
// glibc leaks a little for each locale opened by name under LOCPATH.
class HostLocale {
public:
    explicit HostLocale(const std::string& name) {
        setlocale(LC_ALL, name.c_str());
        std::locale::global(std::locale(std::locale::classic(), new CommaNumbers));
    }
    ~HostLocale() {
        std::locale::global(std::locale::classic());
        setlocale(LC_ALL, "C");
    }
};

TEST(ClassicLocaleTest, NumbersInTextsKeepTheDecimalPointUnderADecimalCommaLocale) {
    const std::string locale = DecimalCommaLocale();
    if (locale.empty())
        GTEST_SKIP() << "no de_DE.UTF-8 locale, and localedef (Debian package 'locales') could "
                        "not generate one";
    KacqTest::TestNodeMap map;
    map.Add<TestInteger>("Raw", {{"Value", "3"}});
    auto& delay =
        map.Add<CSwissKnife>("Delay_s", {{"Formula", "RAW/1024"}, {"pVariable", "RAW=Raw"}});
    auto& gain = map.Add<CFloat>("Gain", {{"Value", "1.5"}, {"Min", "-2.5"}, {"Max", "10"}});
    map.Build();

    HostLocale host(locale);
    char probe[16];
    snprintf(probe, sizeof probe, "%.1f", 0.5);
    std::ostringstream stream;
    stream << 0.5;
    ASSERT_EQ("0,5 0,5", probe + (" " + stream.str())) << "the host locale is in effect";

    EXPECT_EQ("0.00292969 1.5", delay.ToString() + " " + gain.ToString());
    EXPECT_EQ("OutOfRange: Value 12.500000 must be smaller than or equal 10.000000",
              KacqTest::Raised([&] { gain.SetValue(12.5); }));
    gain.FromString("0.25");
    const std::string quarter = gain.ToString();
    gain.FromString("0,75"); // a comma is no decimal separator: this reads as 0
    EXPECT_EQ("0.25 0", quarter + " " + gain.ToString());
}

} // namespace
