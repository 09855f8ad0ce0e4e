// Integer formula evaluator: its own arithmetic, saturation and built-ins on
// the shared grammar, as tables of (formula, value or exact message).
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"

using namespace NodeApi;

namespace {

constexpr const char* kNone = nullptr;

struct Case {
    const char* formula;
    int64_t value;
    const char* message;
};

// A=6, B=4, MASKEDREG=0x8E, FREG=1, MIN=INT64_MIN.
CNameTable MakeVariables() {
    CNameTable vars;
    vars.AddValue<int64_t>("A", 6);
    vars.AddValue<int64_t>("B", 4);
    vars.AddValue<int64_t>("MASKEDREG", 0x8E);
    vars.AddValue<int64_t>("FREG", 1);
    vars.AddValue<int64_t>("MIN", INT64_MIN);
    return vars;
}

void ExpectCases(const std::initializer_list<Case>& cases) {
    const CNameTable vars = MakeVariables();
    CIntFormulaParser parser;
    parser.SetVariables(&vars);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("formula «") + (c.formula ? c.formula : "(null)") + "»");
        const int64_t untouched = -12345;
        int64_t result = untouched;
        const char* message = parser.Evaluate(c.formula, result);
        if (c.message == nullptr) {
            EXPECT_EQ(nullptr, message) << message;
            EXPECT_EQ(c.value, result);
        } else {
            ASSERT_NE(nullptr, message);
            EXPECT_STREQ(c.message, message);
            EXPECT_EQ(untouched, result);
        }
    }
}

} // namespace

TEST(IntFormulaParser, EmptyTextsNumbersAndSaturation) {
    ExpectCases({
        {nullptr, 0, kNone},
        {"", 0, kNone},
        {"9223372036854775807", INT64_MAX, kNone},
        {"9223372036854775808", INT64_MAX, kNone},
        {"0x8000000000000000", INT64_MAX, kNone},
        {"0xFFFFFFFFFFFFFFFFFF", INT64_MAX, kNone},
        {"0xFFFFFFFF", 0xFFFFFFFFLL, kNone},
        {"-9223372036854775808", -INT64_MAX, kNone},
        {"0x", 0, "#Syntax error!"},
        {"1.5", 0, "#Syntax error!"}, // a decimal point ends the number
        {"1e3", 0, "# E3 - Unknown function/variable!"},
        {"2X", 0, "# X - Unknown function/variable!"},
    });
}

TEST(IntFormulaParser, ArithmeticWrapsAndDivisionFailsCleanly) {
    ExpectCases({
        {"7/2", 3, kNone},
        {"-7/2", -3, kNone},
        {"-7%2", -1, kNone},
        {"7%(-2)", 1, kNone},
        {"9223372036854775807+1", INT64_MIN, kNone},
        {"MIN-1", INT64_MAX, kNone},
        {"MIN*(-1)", INT64_MIN, kNone},
        {"-MIN", INT64_MIN, kNone},
        {"4294967296*4294967296", 0, kNone},
        {"1/0", 0, "#Infinity somewhere!"},
        {"1%0", 0, "#Infinity somewhere!"},
        // The one quotient and remainder that do not fit.
        {"MIN/(-1)", 0, "#Value too big for operation!"},
        {"MIN%(-1)", 0, "#Value too big for operation!"},
        {"(MIN+1)/(-1)", INT64_MAX, kNone},
        // "$" truncates here; nothing for a dividend of 0 or less.
        {"7$2", 3, kNone},
        {"-1$0", 0, kNone},
        {"7$0", 0, "#Infinity somewhere!"},
        {"MIN$(-1)", 0, kNone},
        {"7$(-2)", -3, kNone},
        // "**" is "<>" in this variant, not a power.
        {"2**3", 1, kNone},
        {"2**2", 0, kNone},
    });
}

TEST(IntFormulaParser, BitOperationsAndShiftCounts) {
    ExpectCases({
        {"((MASKEDREG & 0x8E) = 0x8E) && (FREG = 1)", 1, kNone},
        {"0x0F ^ 0x3C", 0x33, kNone},
        {"~2147483647", -2147483648LL, kNone},
        {"~2147483648", 0, "#Value too big for operation!"},
        {"1 << 40", 1LL << 40, kNone}, // 64-bit result
        {"1 << 63", INT64_MIN, kNone},
        {"1 << 64", 0, kNone},
        {"1 << 256", 1, kNone}, // low 8 bits of the count
        {"1 << (-1)", 0, kNone},
        {"-8 >> 1", -4, kNone},
        {"(-8) >> 100", -1, kNone},
        {"8 >> 64", 0, kNone},
        {"2147483647 | (-2147483648)", -1, kNone},
        {"4294967296 & 1", 0, "#Value too big for operation!"},
        {"1 & 4294967296", 0, "#Value too big for operation!"},
        {"2147483648 >> 1", 0, "#Value too big for operation!"},
        {"(-2147483649) ^ 0", 0, "#Value too big for operation!"},
    });
}

TEST(IntFormulaParser, ComparisonsConditionalsAndPrefixSigns) {
    ExpectCases({
        {"3 <> 3", 0, kNone},
        {"2 < 3 && 0", 0, kNone},
        {"A = 6 && B = 4", 0, kNone},
        {"0 || 7", 1, kNone},
        {"1 ? 2 : 3", 2, kNone},
        {"0 ? 2 : 3", 3, kNone},
        {"2*-3", 0, "#Extra operation!"},
        {"-2**2", 1, kNone}, // (-2) "**" 2: the operands differ
    });
}

TEST(IntFormulaParser, BuiltInsAndScripts) {
    ExpectCases({
        {"SGN(-5)", -1, kNone},
        {"SGN 0", 0, kNone},
        {"sgn 9", 1, kNone},
        {"NEG(5)", -5, kNone},
        {"SIN(0)", 0, "# SIN - Unknown function/variable!"},
        {"E", 0, "# E - Unknown function/variable!"},
        {"ROUND(1)", 0, "# ROUND - Unknown function/variable!"},
        {"'a'", 0, "#Syntax error!"},
        {"#! C := 7; RETURN C $ 2", 3, kNone},
        {"#! C := 1; C := C << 40; RETURN C", 1LL << 40, kNone},
        {"#! C := 1;", 0, "#Unexpected end of script!"},
        {"#! C D", 0, "#Variable name or return expected!"},
        {"1 /* note */ + 2", 3, kNone},
        {"1 /* note", 0, "#Syntax error!"},
        {"foo", 0, "# FOO - Unknown function/variable!"},
    });
}
