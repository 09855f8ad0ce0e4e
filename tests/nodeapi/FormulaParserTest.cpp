// Floating formula evaluator, the shared grammar, and the operator and name
// tables: tables of (formula, value or exact message) grouped by theme.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"
#include "nodeapi/SymTable.h"

using namespace NodeApi;

namespace {

constexpr const char* kNone = nullptr;
const double kInf = std::numeric_limits<double>::infinity();
const double kNaN = std::numeric_limits<double>::quiet_NaN();

struct Case {
    const char* formula;
    double value;        // expected when message is null
    const char* message; // expected message, or null for success
};

// Variables every case can use: A=6, B=4, X=0.5, F=1, MASKEDREG=0x8E.
CNameTable MakeVariables() {
    CNameTable vars;
    vars.AddValue<double>("A", 6);
    vars.AddValue<double>("B", 4);
    vars.AddValue<double>("X", 0.5);
    vars.AddValue<double>("F", 1);
    vars.AddValue<double>("MASKEDREG", 0x8E);
    return vars;
}

void ExpectSame(double expected, double actual) {
    if (std::isnan(expected)) {
        EXPECT_TRUE(std::isnan(actual)) << actual;
    } else if (std::isinf(expected) || expected == 0) {
        EXPECT_EQ(expected, actual);
    } else {
        EXPECT_NEAR(expected, actual, std::fabs(expected) * 1e-14);
    }
}

void ExpectCases(const std::initializer_list<Case>& cases) {
    const CNameTable vars = MakeVariables();
    CFormulaParser parser;
    parser.SetVariables(&vars);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("formula «") + (c.formula ? c.formula : "(null)") + "»");
        const double untouched = -12345.0;
        double result = untouched;
        const char* message = parser.Evaluate(c.formula, result);
        if (c.message == nullptr) {
            EXPECT_EQ(nullptr, message) << message;
            ExpectSame(c.value, result);
        } else {
            ASSERT_NE(nullptr, message);
            EXPECT_STREQ(c.message, message);
            EXPECT_EQ(untouched, result) << "a failed evaluation leaves the result alone";
        }
    }
}

std::string Repeat(const std::string& part, int count) {
    std::string s;
    for (int i = 0; i < count; ++i) {
        s += part;
    }
    return s;
}

} // namespace

TEST(FormulaParser, EmptyAndWhiteSpaceTexts) {
    ExpectCases({
        {nullptr, 0, kNone},
        {"", 0, kNone},
        {" ", 0, "#Internal error!"},
        {" \t\r\n", 0, "#Internal error!"},
        {"/* only a comment */", 0, "#Internal error!"},
        {"()", 0, "#Internal error!"},
    });
}

TEST(FormulaParser, NumbersAndHexadecimalSaturation) {
    ExpectCases({
        {"42", 42, kNone},
        {"1.5", 1.5, kNone},
        {"1.", 1, kNone},
        {"2e3", 2000, kNone},
        {"1e999", kInf, kNone},
        {"1e-999", 0, kNone},
        {"0x10", 16, kNone},
        {"0x7FFFFFFF", 2147483647, kNone},
        {"0xFFFFFFFF", 2147483647, kNone},
        {"0x80000000", 2147483647, kNone},
        {"0xFFFFFFFFFFFFFFFFFFFFFFFF", 2147483647, kNone},
        // Only a lower-case "x" starts a hexadecimal number.
        {"0XFF", 0, "# XFF - Unknown function/variable!"},
        {"0x", 0, "#Syntax error!"},
        {"2X", 0, "#Internal error!"},
        {"2 3", 0, "#Internal error!"},
        {".5", 0, "#Syntax error!"},
        {"2e", 0, "#Internal error!"}, // 2 followed by the constant E
    });
}

TEST(FormulaParser, BracketErrors) {
    ExpectCases({
        {"(1+2", 0, "#Brackets not match!"},
        {"1+2)", 0, "#Brackets not match!"},
        {")(", 0, "#Brackets not match!"},
        {"'('", 0, "#Brackets not match!"},
        {"1 /* ( */", 0, "#Brackets not match!"},
        {"(1+2)*3", 9, kNone},
        // Brackets hidden in a comment fool the count; the parse still stops cleanly.
        {"1 /* ( */ )", 0, "#Brackets not match!"},
        {"( /* ) */", 0, "#Internal error!"},
        {"/*(*/ 1 , 2 )", 0, "#Syntax error!"},
    });
}

TEST(FormulaParser, ArithmeticAndDivisionByZero) {
    ExpectCases({
        {"1+2*3", 7, kNone},
        {"10-2-3", 5, kNone},
        {"100/10/5", 2, kNone},
        {"7/2", 3.5, kNone},
        {"1/0", 0, "#Infinity somewhere!"},
        {"0/0", 0, "#Infinity somewhere!"},
        {"7 % 3", 1, kNone},
        {"-7 % 3", -1, kNone},
        {"7 % 0", kNaN, kNone},
        {"2**3", 8, kNone},
        {"2**3**2", 64, kNone}, // left-associative
        {"2**0.5", std::sqrt(2.0), kNone},
        // "$": division rounded up, nothing for a dividend of 0 or less.
        {"7$2", 4, kNone},
        {"8$2", 4, kNone},
        {"-1$0", 0, kNone},
        {"0$0", 0, kNone},
        {"7$0", 0, "#Infinity somewhere!"},
        {"7$(-2)", -3, kNone},
        {"1e308*10", kInf, kNone},
    });
}

TEST(FormulaParser, BitOperationsAndTheirRange) {
    ExpectCases({
        {"0x0F & 0x3C", 12, kNone},
        {"0x0F ^ 0x3C", 51, kNone},
        {"~0", -1, kNone},
        {"1 << 33", 2, kNone}, // low five bits of the count
        {"0x40000000 << 1", -2147483648.0, kNone},
        {"-8 >> 1", -4, kNone},
        {"2.9 & 3", 2, kNone},
        {"(-2.9) & (-1)", -2, kNone},
        {"-2147483648 & (-1)", -2147483648.0, kNone},
        {"4294967296 & 1", 0, "#Value too big for operation!"},
        {"1 & 4294967296", 0, "#Value too big for operation!"},
        {"2147483648 | 0", 0, "#Value too big for operation!"},
        {"(-2147483649) >> 1", 0, "#Value too big for operation!"},
        {"1 << 1e10", 0, "#Value too big for operation!"},
        {"~4294967296", 0, "#Value too big for operation!"},
        {"SQRT(-1) & 1", 0, "#Value too big for operation!"},
    });
}

TEST(FormulaParser, ComparisonsLogicAndPrecedence) {
    ExpectCases({
        {"3 >= 3", 1, kNone},
        {"3 > 3", 0, kNone},
        {"3 <= 3", 1, kNone},
        {"2 < 3", 1, kNone},
        {"2 = 2", 1, kNone},
        {"2 <> 2", 0, kNone},
        {"SQRT(-1) <> SQRT(-1)", 1, kNone},
        {"SQRT(-1) = SQRT(-1)", 0, kNone},
        {"2 && 0.5", 1, kNone},
        {"0 || (-1)", 1, kNone},
        {"0 || -1", 0, "#Extra operation!"},
        // "&" binds tighter than "=".
        {"0x8E & 0x8E = 0x8E", 1, kNone},
        {"((MASKEDREG & 0x8E) = 0x8E) && (F = 1)", 1, kNone},
        // "&&" is as strong as "=": ((A = 6) && B) = 4 is 1 = 4.
        {"A = 6 && B = 4", 0, kNone},
        {"(A = 6) && (B = 4)", 1, kNone},
        {"1 | 2 + 1", 4, kNone},
        {"2 * 3 << 1", 12, kNone},
    });
}

TEST(FormulaParser, Conditionals) {
    ExpectCases({
        {"1 ? 2 : 3", 2, kNone},
        {"0 ? 2 : 3", 3, kNone},
        {"SQRT(-1) ? 2 : 3", 2, kNone}, // not a number is not zero
        {"1 : 2", 0, "#Logical expression error!"},
        {"(1 ? 2) : 3", 0, "#Logical expression error!"},
        {"1 ? 2", 0, "#Internal error!"},
        {"? 1 : 2", 0, "#Extra operation!"},
        // Groups to the left: (C1 ? A : C2) ? B : D.
        {"1 ? 2 : 0 ? 4 : 5", 4, kNone},
        {"0 ? 2 : 0 ? 4 : 5", 5, kNone},
        {"1 ? 2 : 3 + 1", 2, kNone},
        {"0 ? 2 : 3 + 1", 4, kNone},
        {"A = 6 ? 5 : 7", 5, kNone},
    });
}

TEST(FormulaParser, PrefixSigns) {
    ExpectCases({
        {"-3*2", -6, kNone},
        {"2*-3", 0, "#Extra operation!"},
        {"2*(-3)", -6, kNone},
        {"+5", 5, kNone},
        {"A*-B", 0, "#Extra operation!"},
        {"A*(-B)", -24, kNone},
        {"A & ~B", 0, "#Extra operation!"},
        {"A * ~B", -30, kNone},
        // A prefix minus binds tighter than every binary operator.
        {"-2**2", 4, kNone},
        {"-A + 1", -5, kNone},
        {"--1", 0, "#Extra operation!"},
        {"-(-1)", 1, kNone},
        {"1 - -1", 0, "#Extra operation!"},
        {"-", 0, "#Extra operation!"},
        {"1 +", 0, "#Extra operation!"},
    });
}

TEST(FormulaParser, FunctionsWithAndWithoutParentheses) {
    ExpectCases({
        {"sin(0)", 0, kNone},
        {"SIN X + 1", std::sin(0.5) + 1, kNone},
        {"SQRT 16 + 1", 5, kNone},
        {"2*SQRT 16", 8, kNone},
        {"SQRT(16)*2", 8, kNone},
        {"cos(0)", 1, kNone},
        {"TAN 0", 0, kNone},
        {"ATAN 1", std::atan(1.0), kNone},
        {"ASIN 1", std::asin(1.0), kNone},
        {"ACOS 1", 0, kNone},
        {"ABS(-3)", 3, kNone},
        {"EXP 0", 1, kNone},
        {"LN E", 1, kNone},
        {"LG 1000", 3, kNone},
        {"FRAC(-2.5)", -0.5, kNone},
        {"TRUNC(-2.5)", -2, kNone},
        {"TRUNC(2.5)", 2, kNone},
        {"FLOOR(-2.5)", -3, kNone},
        {"CEIL(2.1)", 3, kNone},
        {"SGN(-4)", -1, kNone},
        {"SGN 0", 0, kNone},
        {"SGN 7", 1, kNone},
        {"SGN SQRT(-1)", 0, kNone},
        {"NEG 3", -3, kNone},
        {"PI", 3.141592653589793, kNone},
        {"E", 2.718281828459045, kNone},
        {"SIN(1,2)", 0, "#Syntax error!"},
        {"1,2", 0, "#Syntax error!"},
        {"SIN", 0, "#Extra operation!"},
        {"SIN -1", 0, "#Extra operation!"},
        {"SIN(-1)", std::sin(-1.0), kNone},
        {"2 SIN 0", 0, "#Internal error!"},
    });
}

TEST(FormulaParser, RoundIsStepwise) {
    const double stepwise = 23 * 0.1; // 2.25 * 10 + 0.5, truncated, times 0.1
    ExpectCases({
        {"ROUND(2.25, 1)", stepwise, kNone},
        {"ROUND(-2.5)", -3, kNone},
        {"ROUND(1250, -2)", 1300, kNone},
        {"ROUND(2.5)", 3, kNone},
        {"ROUND(2.4999)", 2, kNone},
        {"ROUND(-0.4)", 0, kNone},
        {"ROUND 2.5 + 1", 4, kNone},
        {"ROUND(1.26, 1.9)", 1.3, kNone}, // digit count truncated toward zero
        // Huge digit counts end in infinity or 0 quickly instead of looping.
        {"ROUND(1, 1e300)", kInf, kNone},
        {"ROUND(5, -1e300)", 0, kNone},
        {"ROUND(5, SQRT(-1))", 5, kNone},
        {"ROUND(1,2,3)", 0, "#Invalid parameters count for function call!"},
        // Found by fuzzing: a list function with no argument at the bottom of the
        // value stack formed its argument pointer one entry before the stack.
        {"ROUND", 0, "#Invalid parameters count for function call!"},
        {"1 2 3 ROUND(* 1 *)", 0, "#Invalid parameters count for function call!"},
    });
}

TEST(FormulaParser, QuotedTextArguments) {
    ExpectCases({
        {"ROUND('text')", -1.68376462823243e308, kNone},
        {"ROUND(1.25, 1, 'unit')", 0, "#Invalid parameters count for function call!"},
        {"'abc'", 0, "#Syntax error!"},
        {"SIN('a')", 0, "#Syntax error!"},
        {"ROUND(1 + 'a')", 0, "#Syntax error!"},
        {"ROUND('a)", 0, "#Syntax error!"},
    });
}

TEST(FormulaParser, Comments) {
    ExpectCases({
        {"1 /* note */ + 2", 3, kNone},
        {"/**/1", 1, kNone},
        {"1 /* note", 0, "#Syntax error!"},
        {"1 /*/ 2", 0, "#Syntax error!"},
        {"1 */ 2", 0, "#Extra operation!"},
    });
}

TEST(FormulaParser, UnknownNamesAreUpperCased) {
    ExpectCases({
        {"foo", 0, "# FOO - Unknown function/variable!"},
        {"1 + foo_1 * 2", 0, "# FOO_1 - Unknown function/variable!"},
        {"a + b", 10, kNone}, // folded names find the caller's A and B
        {"Round(1.5)", 2, kNone},
        {"#", 0, "#Syntax error!"},
        {"1 \x80 2", 0, "#Syntax error!"},
    });
}

TEST(FormulaParser, ScriptsAndTheirErrors) {
    ExpectCases({
        {"#! A1 := 2; B1 := A1*3; RETURN B1+1", 7, kNone},
        {"#! return 5", 5, kNone},
        {"#!\nv := 1; v := v + 1; RETURN v", 2, kNone},
        {"#! R := 1 ? 2 : 3; RETURN R", 2, kNone},
        {"#! R := 1; RETURN R; anything after", 1, kNone},
        {"#! R := 1 /* ; */ + 2; RETURN R", 3, kNone},
        // A script cannot hide a caller's variable.
        {"#! A := 100; RETURN A", 6, kNone},
        {"#! C := 2;", 0, "#Unexpected end of script!"},
        {"#! ", 0, "#Unexpected end of script!"},
        {"#! C D", 0, "#Variable name or return expected!"},
        {"#! C + 1", 0, "#Assignment expected!"},
        {"#! 5", 0, "#Syntax error!"},
        {"#! C := 1 RETURN C", 0, "# RETURN - Unknown function/variable!"},
        {"#! C := 1, 2; RETURN C", 0, "#Syntax error!"},
        {"#! RETURN", 0, "#Internal error!"},
        {"#! RETURN D", 0, "# D - Unknown function/variable!"},
        // Not scripts: "#!" must be followed by white space.
        {"#!RETURN 1", 0, "#Syntax error!"},
        {"#!", 0, "#Syntax error!"},
        {"1; 2", 0, "#Syntax error!"},
        {"1 := 2", 0, "#Extra operation!"},
    });
}

TEST(FormulaParser, ScriptVariablesDoNotOutliveTheScript) {
    CFormulaParser parser;
    double result = 0;
    EXPECT_EQ(nullptr, parser.Evaluate("#! K := 3; RETURN K", result));
    EXPECT_EQ(3, result);
    EXPECT_STREQ("# K - Unknown function/variable!", parser.Evaluate("K", result));
    EXPECT_STREQ("# K - Unknown function/variable!", parser.Evaluate("#! RETURN K", result));
}

TEST(FormulaParser, StacksRefuseDeepNestingAndLongQueues) {
    // The sentinel and 63 opening brackets fill the operator stack.
    const std::string nested63 = Repeat("(", 63) + "1" + Repeat(")", 63);
    const std::string nested64 = Repeat("(", 64) + "1" + Repeat(")", 64);
    const std::string nested1000 = Repeat("(", 1000) + "1" + Repeat(")", 1000);
    const std::string neg63 = Repeat("NEG ", 63) + "1";
    const std::string neg64 = Repeat("NEG ", 64) + "1";
    const std::string args64 = "ROUND(" + Repeat("1,", 63) + "1)";
    const std::string args65 = "ROUND(" + Repeat("1,", 64) + "1)";
    const std::string values65 = Repeat("1 ", 65);
    const std::string script = "#! V := " + Repeat("(", 70) + "1" + Repeat(")", 70) + "; RETURN V";
    ExpectCases({
        {nested63.c_str(), 1, kNone},
        {nested64.c_str(), 0, "#Internal error!"},
        {nested1000.c_str(), 0, "#Internal error!"},
        {neg63.c_str(), -1, kNone},
        {neg64.c_str(), 0, "#Internal error!"},
        {args64.c_str(), 0, "#Invalid parameters count for function call!"},
        {args65.c_str(), 0, "#Internal error!"},
        {values65.c_str(), 0, "#Internal error!"},
        {script.c_str(), 0, "#Internal error!"},
        {"1+1", 2, kNone}, // the same evaluator works on after a refusal
    });
}

TEST(FormulaParser, LongUnknownNameIsCutToTheMessageBuffer) {
    CFormulaParser parser;
    double result = 0;
    const std::string name(5000, 'q');
    const char* message = parser.Evaluate(name.c_str(), result);
    ASSERT_NE(nullptr, message);
    const std::string text(message);
    EXPECT_EQ("# " + std::string(CFormulaParser::kMessageSize - 32, 'Q') +
                  " - Unknown function/variable!",
              text);
    // A name that just fits is shown whole.
    const std::string fits(224, 'w');
    message = parser.Evaluate(fits.c_str(), result);
    EXPECT_EQ("# " + std::string(224, 'W') + " - Unknown function/variable!", std::string(message));
}

TEST(FormulaParser, VariableTables) {
    CFormulaParser parser;
    double result = 0;
    // No table: every name is unknown.
    EXPECT_STREQ("# A - Unknown function/variable!", parser.Evaluate("A", result));

    CNameTable vars;
    vars.AddValue<double>("vbl", 3); // lower case: never found
    vars.AddValue<double>("DUP", 1);
    vars.AddValue<double>("DUP", 2); // the first record wins
    uint64_t unusableBits = 0xFFEE093D05FA254CULL;
    double unusable;
    std::memcpy(&unusable, &unusableBits, sizeof(unusable));
    vars.AddValue<double>("BAD", unusable);
    parser.SetVariables(&vars);
    EXPECT_EQ(&vars, parser.Variables());
    EXPECT_STREQ("# VBL - Unknown function/variable!", parser.Evaluate("vbl", result));
    EXPECT_EQ(nullptr, parser.Evaluate("DUP", result));
    EXPECT_EQ(1, result);
    EXPECT_STREQ("#Internal error!", parser.Evaluate("BAD + 1", result));
    EXPECT_EQ(4u, vars.Size()) << "the caller's table is never changed";

    // Names are folded in the evaluator's own copy, never in the caller's text.
    char text[] = "dup + dup";
    EXPECT_EQ(nullptr, parser.Evaluate(text, result));
    EXPECT_EQ(2, result);
    EXPECT_STREQ("dup + dup", text);

    // A table of 4-byte values cannot feed this evaluator.
    CNameTable narrow(4);
    narrow.AddValue<uint32_t>("A", 1);
    parser.SetVariables(&narrow);
    EXPECT_STREQ("#Internal error!", parser.Evaluate("A", result));
    EXPECT_EQ(nullptr, parser.Evaluate("PI", result));
}

TEST(FormulaParser, MessageStaysUntilTheNextEvaluation) {
    CFormulaParser first;
    CFormulaParser second;
    double result = 0;
    const char* one = first.Evaluate("one", result);
    const char* two = second.Evaluate("two", result);
    // Each evaluator formats into its own buffer.
    EXPECT_EQ("# ONE - Unknown function/variable!|# TWO - Unknown function/variable!",
              std::string(one) + "|" + two);
}
