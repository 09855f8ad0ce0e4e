// The two formula evaluators over their shared grammar: each row gives what the
// floating and the integer evaluator answer (a value or the exact message).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"

using namespace NodeApi;

namespace {

const std::string kSyn = "#Syntax error!", kInt = "#Internal error!", kXop = "#Extra operation!";
const std::string kBrk = "#Brackets not match!", kLog = "#Logical expression error!";
const std::string kInf = "#Infinity somewhere!", kBig = "#Value too big for operation!";
const std::string kCnt = "#Invalid parameters count for function call!";
const auto U = [](std::string n) { return "# " + n + " - Unknown function/variable!"; };

struct Row {
    std::string formula, flt, in; // formula "(null)": a null pointer
};

// The value to 15 digits, or the message and whether a failure touched the result.
template <class T>
std::string Answer(CFormulaParserT<T>& parser, const char* formula) {
    T result = T(-12345);
    const char* message = parser.Evaluate(formula, result);
    if (message != nullptr)
        return message + std::string(result == T(-12345) ? "" : " (result changed)");
    std::ostringstream out;
    out << std::setprecision(15) << result;
    return out.str() == "-nan" ? "nan" : out.str();
}

// Rows run in order on one evaluator of each kind, so a row may check what an
// earlier one left behind. Variables: A=6, B=4, MIN=-2^63, and X=0.5 for the floating one.
void Expect(const std::vector<Row>& rows) {
    CNameTable fltVars, intVars;
    const std::pair<const char*, int64_t> vars[] = {{"A", 6}, {"B", 4}, {"MIN", INT64_MIN}};
    for (const auto& v : vars) {
        fltVars.AddValue<double>(v.first, double(v.second));
        intVars.AddValue<int64_t>(v.first, v.second);
    }
    fltVars.AddValue<double>("X", 0.5);
    CFormulaParser flt;
    CIntFormulaParser in;
    flt.SetVariables(&fltVars);
    in.SetVariables(&intVars);
    for (const Row& r : rows) {
        SCOPED_TRACE(r.formula);
        const char* formula = r.formula == "(null)" ? nullptr : r.formula.c_str();
        EXPECT_EQ(r.flt, Answer<double>(flt, formula)) << "floating";
        EXPECT_EQ(r.in, Answer<int64_t>(in, formula)) << "integer";
    }
}

std::string Rep(const std::string& part, int count) {
    return count > 0 ? part + Rep(part, count - 1) : "";
}

} // namespace

TEST(FormulaParser, EmptyTextsNumbersAndSaturation) {
    Expect({
        {"(null)", "0", "0"},
        {"", "0", "0"},
        {" \t\r\n", kInt, kInt},
        {"()", kInt, kInt},
        {"1.5", "1.5", kSyn},
        {"1.", "1", kSyn},
        {"2e3", "2000", U("E3")},
        {"1e999", "inf", U("E999")},
        {"1e-999", "0", U("E")},
        {"0x7FFFFFFF", "2147483647", "2147483647"},
        {"0x80000000", "2147483647", "2147483648"},
        {"0xFFFFFFFFFFFFFFFFFFFFFFFF", "2147483647", "9223372036854775807"},
        {"9223372036854775807", "9.22337203685478e+18", "9223372036854775807"},
        {"9223372036854775808", "9.22337203685478e+18", "9223372036854775807"},
        {"-9223372036854775808", "-9.22337203685478e+18", "-9223372036854775807"},
        {"0XFF", U("XFF"), U("XFF")},
        {"0x", kSyn, kSyn},
        {"2X", kInt, U("X")},
        {".5", kSyn, kSyn},
        {"2e", kInt, U("E")}, // 2 followed by the constant E
    });
}

TEST(FormulaParser, ArithmeticPrefixSignsWrapAndDivisionByZero) {
    Expect({
        {"1+2*3", "7", "7"},
        {"10-2-3", "5", "5"},
        {"7/2", "3.5", "3"},
        {"-7/2", "-3.5", "-3"},
        {"1/0", kInf, kInf},
        {"-7 % 3", "-1", "-1"},
        {"7 % 0", "nan", kInf},
        // "**" is a left-associative power; "<>" in the integer variant.
        {"2**3**2", "64", "1"},
        {"2**0.5", "1.4142135623731", kSyn},
        // "$": division rounded up (integer: truncated), 0 for a dividend <= 0.
        {"7$2", "4", "3"},
        {"8$2", "4", "4"},
        {"0$0", "0", "0"},
        {"7$0", kInf, kInf},
        {"7$(-2)", "-3", "-3"},
        {"MIN$(-1)", "0", "0"},
        {"1e308*10", "inf", U("E308")},
        {"9223372036854775807+1", "9.22337203685478e+18", "-9223372036854775808"},
        {"MIN-1", "-9.22337203685478e+18", "9223372036854775807"},
        {"-MIN", "9.22337203685478e+18", "-9223372036854775808"},
        {"4294967296*4294967296", "1.84467440737096e+19", "0"},
        {"MIN/(-1)", "9.22337203685478e+18", kBig},
        {"MIN%(-1)", "-0", kBig},
        {"(MIN+1)/(-1)", "9.22337203685478e+18", "9223372036854775807"},
        {"2*-3", kXop, kXop},
        {"+5", "5", "5"},
        {"A & ~B", kXop, kXop},
        {"A * ~B", "-30", "-30"},
        // A prefix minus binds tighter than every binary operator.
        {"-2**2", "4", "1"},
        {"-A + 1", "-5", "-5"},
        {"--1", kXop, kXop},
        {"-(-1)", "1", "1"},
        {"-", kXop, kXop},
        {"1 +", kXop, kXop},
    });
}

TEST(FormulaParser, BitOperationsShiftCountsAndTheirRange) {
    Expect({
        {"0x0F & 0x3C", "12", "12"},
        {"0x0F ^ 0x3C", "51", "51"},
        {"~2147483647", "-2147483648", "-2147483648"},
        {"1 << 33", "2", "8589934592"},
        {"1 << 63", "-2147483648", "-9223372036854775808"},
        {"1 << 64", "1", "0"},
        {"1 << 256", "1", "1"},
        {"1 << (-1)", "-2147483648", "0"},
        {"-8 >> 1", "-4", "-4"},
        {"(-8) >> 100", "-1", "-1"},
        {"8 >> 64", "8", "0"},
        {"(-2.9) & (-1)", "-2", kSyn},
        {"2147483647 | (-2147483648)", "-1", "-1"},
        {"1 & 4294967296", kBig, kBig},
        {"2147483648 | 0", kBig, kBig},
        {"(-2147483649) ^ 0", kBig, kBig},
        {"~2147483648", kBig, kBig},
        {"SQRT(-1) & 1", kBig, U("SQRT")},
    });
}

TEST(FormulaParser, ComparisonsLogicConditionalsAndPrecedence) {
    Expect({
        {"3 >= 3", "1", "1"},
        {"3 > 3", "0", "0"},
        {"3 <= 3", "1", "1"},
        {"2 < 3", "1", "1"},
        {"2 = 2", "1", "1"},
        {"2 <> 2", "0", "0"},
        {"SQRT(-1) <> SQRT(-1)", "1", U("SQRT")},
        {"SQRT(-1) = SQRT(-1)", "0", U("SQRT")},
        {"2 && 0.5", "1", kSyn},
        {"1 && 0", "0", "0"},
        {"0 || (-1)", "1", "1"},
        {"0x8E & 0x8E = 0x8E", "1", "1"},
        // "&&" is as strong as "=": ((A = 6) && B) = 4 is 1 = 4.
        {"A = 6 && B = 4", "0", "0"},
        {"(A = 6) && (B = 4)", "1", "1"},
        {"1 | 2 + 1", "4", "4"},
        {"2 * 3 << 1", "12", "12"},
        {"SQRT(-1) ? 2 : 3", "2", U("SQRT")}, // not a number is not zero
        {"1 : 2", kLog, kLog},
        {"(1 ? 2) : 3", kLog, kLog},
        {"1 ? 2", kInt, kInt},
        {"? 1 : 2", kXop, kXop},
        // Groups to the left: (C1 ? A : C2) ? B : D.
        {"1 ? 2 : 0 ? 4 : 5", "4", "4"},
        {"0 ? 2 : 0 ? 4 : 5", "5", "5"},
        {"1 ? 2 : 3 + 1", "2", "2"},
        {"A = 6 ? 5 : 7", "5", "5"},
    });
}

TEST(FormulaParser, FunctionsWithAndWithoutParentheses) {
    Expect({
        {"SIN X + 1", "1.4794255386042", U("SIN")},
        {"SQRT 16 + 1", "5", U("SQRT")},
        {"cos(0)", "1", U("COS")},
        {"TAN 1", "1.5574077246549", U("TAN")},
        {"ATAN 1", "0.785398163397448", U("ATAN")},
        {"ASIN 1", "1.5707963267949", U("ASIN")},
        {"ACOS X", "1.0471975511966", U("ACOS")},
        {"ABS(-3)", "3", U("ABS")},
        {"EXP 1", "2.71828182845905", U("EXP")},
        {"LN E", "1", U("LN")},
        {"LG 1000", "3", U("LG")},
        {"FRAC(-2.5)", "-0.5", U("FRAC")},
        {"TRUNC(-2.5)", "-2", U("TRUNC")},
        {"TRUNC(2.5)", "2", U("TRUNC")},
        {"FLOOR(-2.5)", "-3", U("FLOOR")},
        {"CEIL(2.1)", "3", U("CEIL")},
        {"SGN(-4)", "-1", "-1"},
        {"SGN 0", "0", "0"},
        {"sgn 7", "1", "1"},
        {"SGN SQRT(-1)", "0", U("SQRT")},
        {"NEG 3", "-3", "-3"},
        {"SIN(1,2)", kSyn, U("SIN")},
        {"2 SIN 0", kInt, U("SIN")},
    });
}

TEST(FormulaParser, RoundIsStepwiseAndTakesQuotedTexts) {
    Expect({
        {"ROUND(2.25, 1)", "2.3", U("ROUND")}, // 2.25 * 10 + 0.5, truncated, times 0.1
        {"ROUND(-2.5)", "-3", U("ROUND")},
        {"ROUND(1250, -2)", "1300", U("ROUND")},
        {"ROUND(2.4999)", "2", U("ROUND")},
        {"ROUND(-0.4)", "-0", U("ROUND")},
        {"ROUND 2.5 + 1", "4", U("ROUND")},
        {"ROUND(1.26, 1.9)", "1.3", U("ROUND")}, // digit count truncated toward zero
        // Huge digit counts end in infinity or 0 quickly instead of looping.
        {"ROUND(1, 1e300)", "inf", U("ROUND")},
        {"ROUND(5, -1e300)", "0", U("ROUND")},
        {"ROUND(5, SQRT(-1))", "5", U("ROUND")},
        // Found by fuzzing: a list function without arguments read before the value stack.
        {"ROUND", kCnt, U("ROUND")},
        {"1 2 3 ROUND(* 1 *)", kCnt, U("ROUND")},
        {"ROUND('text')", "-1.68376462823243e+308", U("ROUND")},
        {"ROUND(1.25, 1, 'unit')", kCnt, U("ROUND")},
        {"'abc'", kSyn, kSyn},
        {"SIN('a')", kSyn, U("SIN")},
        {"ROUND(1 + 'a')", kSyn, U("ROUND")},
        {"ROUND('a)", kSyn, U("ROUND")},
    });
}

TEST(FormulaParser, BracketsCommentsAndNames) {
    Expect({
        {"(1+2", kBrk, kBrk},
        {")(", kBrk, kBrk},
        {"'('", kBrk, kBrk},
        {"1 /* ( */", kBrk, kBrk},
        // Brackets hidden in a comment fool the count; the parse still stops.
        {"1 /* ( */ )", kBrk, kBrk},
        {"( /* ) */", kInt, kInt},
        {"/*(*/ 1 , 2 )", kSyn, kSyn},
        {"/**/1", "1", "1"},
        {"1 /*/ 2", kSyn, kSyn},
        {"1 */ 2", kXop, kXop},
        {"1 + foo_1 * 2", U("FOO_1"), U("FOO_1")},
        {"a + b", "10", "10"},
        {"#", kSyn, kSyn},
        {"1 \x80 2", kSyn, kSyn},
    });
}

TEST(FormulaParser, ScriptsAndTheirErrors) {
    Expect({
        {"#! A1 := 2; B1 := A1*3; RETURN B1+1", "7", "7"},
        {"#! return 5", "5", "5"},
        {"#!\nv := 1; v := v + 1; RETURN v", "2", "2"},
        {"#! R := 1 ? 2 : 3; RETURN R", "2", "2"},
        {"#! R := 1; RETURN R; anything after", "1", "1"},
        {"#! R := 1 /* ; */ + 2; RETURN R", "3", "3"},
        {"#! C := 1; C := C << 40; RETURN C", "256", "1099511627776"},
        // A script cannot hide a caller's variable, nor leave its own behind.
        {"#! A := 100; RETURN A", "6", "6"},
        {"#! K := 3; RETURN K", "3", "3"},
        {"K", U("K"), U("K")},
        {"#! RETURN K", U("K"), U("K")},
        {"#! C := 2;", "#Unexpected end of script!", "#Unexpected end of script!"},
        {"#! ", "#Unexpected end of script!", "#Unexpected end of script!"},
        {"#! C D", "#Variable name or return expected!", "#Variable name or return expected!"},
        {"#! C + 1", "#Assignment expected!", "#Assignment expected!"},
        {"#! 5", kSyn, kSyn},
        {"#! C := 1 RETURN C", U("RETURN"), U("RETURN")},
        {"#! C := 1, 2; RETURN C", kSyn, kSyn},
        {"#! RETURN", kInt, kInt},
        {"#!RETURN 1", kSyn, kSyn},
        {"#!", kSyn, kSyn},
        {"1; 2", kSyn, kSyn},
        {"1 := 2", kXop, kXop},
    });
}

TEST(FormulaParser, StacksAndMessageBufferRefuseWhatDoesNotFit) {
    // An unknown name is cut to the 256-byte message buffer.
    const std::string cutW = U(std::string(224, 'W'));
    Expect({
        // The sentinel and 63 opening brackets fill the operator stack.
        {Rep("(", 63) + "1" + Rep(")", 63), "1", "1"},
        {Rep("(", 64) + "1" + Rep(")", 64), kInt, kInt},
        {"ROUND(" + Rep("1,", 63) + "1)", kCnt, U("ROUND")},
        {"ROUND(" + Rep("1,", 64) + "1)", kInt, U("ROUND")},
        {Rep("1 ", 65), kInt, kInt},
        {"#! V := " + Rep("(", 70) + "1" + Rep(")", 70) + "; RETURN V", kInt, kInt},
        {"1+1", "2", "2"}, // the same evaluator works on after a refusal
        {std::string(224, 'w'), cutW, cutW},
        {std::string(225, 'w'), cutW, cutW},
    });
}

TEST(FormulaParser, VariableTables) {
    CFormulaParser parser, other;
    double result = 0;
    // Each evaluator formats into its own buffer.
    const char* otherMessage = other.Evaluate("one", result);
    EXPECT_EQ(U("A"), Answer(parser, "A"));
    CNameTable vars;
    vars.AddValue<double>("vbl", 3); // lower case: never found
    vars.AddValue<double>("DUP", 1);
    vars.AddValue<double>("DUP", 2); // the first record wins
    const uint64_t unusableBits = 0xFFEE093D05FA254CULL;
    double unusable;
    std::memcpy(&unusable, &unusableBits, sizeof(unusable));
    vars.AddValue<double>("BAD", unusable);
    parser.SetVariables(&vars);
    // Names are folded in a copy: the caller's text and table stay unchanged.
    char text[] = "dup + dup";
    EXPECT_EQ(U("VBL") + "|1|" + kInt + "|2|dup + dup|4",
              Answer(parser, "vbl") + "|" + Answer(parser, "DUP") + "|" +
                  Answer(parser, "BAD + 1") + "|" + Answer(parser, text) + "|" + text + "|" +
                  std::to_string(vars.Size()));
    // A table of 4-byte values cannot feed this evaluator.
    CNameTable narrow(4);
    narrow.AddValue<uint32_t>("A", 1);
    parser.SetVariables(&narrow);
    EXPECT_EQ(kInt + "|3.14159265358979", Answer(parser, "A") + "|" + Answer(parser, "PI"));
    EXPECT_STREQ("# ONE - Unknown function/variable!", otherMessage);
}
