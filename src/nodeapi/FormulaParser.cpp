// Formula evaluators: tokenizer, bracket check, the two-stack precedence loop,
// scripts, and the arithmetic and built-in functions of each variant.
#include "nodeapi/FormulaParser.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "nodeapi/SymTable.h"

namespace NodeApi {

namespace {

namespace Msg = FormulaMessage;

// Both variants' operators. Two-character operators come first so that the
// lookup prefers "<=" to "<", "**" to "*" and ":=" to ":".
constexpr char kOperatorDefinition[] = "\x1b\x02"
                                       "<<>>**<>>=<=&&||/*:="
                                       "\x1b\x01"
                                       "(+-*/%$^~&|=><?:),;";

const CSymTable& Operators() {
    static const CSymTable table(
        std::string_view(kOperatorDefinition, sizeof(kOperatorDefinition) - 1));
    return table;
}

// Binding levels by operator index; higher binds tighter. A pending operator
// is applied when one of lower or equal level arrives. "/*" never reaches the
// stacks.
// clang-format off
constexpr int kLevels[kOpCount] = {
    5, 5, 5, 2, 2, 2, 2, 2, // << >> ** <> >= <= && ||
    0, -1,                  // /* :=
    0, 3, 3, 4, 4, 4, 4,    // ( + - * / % $
    5, 5, 5, 5,             // ^ ~ & |
    2, 2, 2,                // = > <
    1, 2,                   // ? :
    0, 2, -1,               // ) , ;
    6, 6,                   // function entries
};
// clang-format on

enum CharClass : uint8_t { kInvalid, kIdentifier, kDigit, kSpace, kQuote, kOperatorStart, kEnd };

const std::array<uint8_t, 256>& CharClasses() {
    static const std::array<uint8_t, 256> classes = [] {
        std::array<uint8_t, 256> c{};
        c.fill(kInvalid);
        for (int ch = 'A'; ch <= 'Z'; ++ch) {
            c[static_cast<size_t>(ch)] = kIdentifier;
            c[static_cast<size_t>(ch - 'A' + 'a')] = kIdentifier;
        }
        c['_'] = kIdentifier;
        for (int ch = '0'; ch <= '9'; ++ch) {
            c[static_cast<size_t>(ch)] = kDigit;
        }
        c[' '] = c['\t'] = c['\r'] = c['\n'] = kSpace;
        c['\''] = kQuote;
        for (const char* p = "+-/*^~()<>%$,?:=&|;"; *p != '\0'; ++p) {
            c[static_cast<unsigned char>(*p)] = kOperatorStart;
        }
        c[0] = kEnd;
        return c;
    }();
    return classes;
}

inline uint8_t ClassOf(char ch) {
    return CharClasses()[static_cast<unsigned char>(ch)];
}

inline int HexDigit(char ch) {
    if (ch >= '0' && ch <= '9') {
        return ch - '0';
    }
    if (ch >= 'a' && ch <= 'f') {
        return ch - 'a' + 10;
    }
    if (ch >= 'A' && ch <= 'F') {
        return ch - 'A' + 10;
    }
    return -1;
}

inline bool InInt32Range(double v) {
    return v >= -2147483648.0 && v <= 2147483647.0; // false for NaN
}

inline bool InInt32Range(int64_t v) {
    return v >= INT32_MIN && v <= INT32_MAX;
}

template <typename T>
struct Builtin {
    enum Kind { Constant, Unary, List };
    const char* name;
    Kind kind;
    T constant;
    typename CFormulaParserT<T>::UnaryFunction unary;
    typename CFormulaParserT<T>::ListFunction list;
};

// A variant's built-in names: records of the name table hold a 4-byte index
// into functions.
template <typename T>
struct BuiltinTable {
    std::vector<Builtin<T>> functions;
    CNameTable names{4};

    explicit BuiltinTable(std::vector<Builtin<T>> list) : functions(std::move(list)) {
        for (size_t i = 0; i < functions.size(); ++i) {
            names.AddValue(functions[i].name, static_cast<uint32_t>(i));
        }
    }
};

// A decimal number whose value lies beyond the double range: tells whether it
// is too large (true) or too small. The number is digits, an optional fraction
// and an optional exponent, as the tokenizer matched it.
bool DecimalOverflows(const char* p, const char* end) {
    int64_t significant = 0;  // integer digits from the first non-zero one
    int64_t leadingZeros = 0; // fraction zeros before the first non-zero digit
    bool nonZero = false;
    for (; p < end && *p >= '0' && *p <= '9'; ++p) {
        nonZero = nonZero || *p != '0';
        if (nonZero && significant < INT32_MAX) {
            ++significant;
        }
    }
    if (p < end && *p == '.') {
        for (++p; p < end && *p >= '0' && *p <= '9'; ++p) {
            if (!nonZero && *p == '0' && leadingZeros < INT32_MAX) {
                ++leadingZeros;
            }
            nonZero = nonZero || *p != '0';
        }
    }
    int64_t exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        const bool negative = p < end && *p == '-';
        if (p < end && (*p == '-' || *p == '+')) {
            ++p;
        }
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            if (exponent < INT32_MAX) {
                exponent = exponent * 10 + (*p - '0');
            }
        }
        exponent = negative ? -exponent : exponent;
    }
    const int64_t magnitude =
        significant > 0 ? significant - 1 + exponent : exponent - leadingZeros - 1;
    return magnitude > 0;
}

template <typename T>
struct VariantOps;

// ---- Floating variant --------------------------------------------------------------

template <>
struct VariantOps<double> {
    // Pushed for a quoted-text argument.
    static constexpr double kQuotedPlaceholder = -1.68376462823243e308;
    // Bit pattern of a variable value that marks it unusable.
    static constexpr uint64_t kUnusableBits = 0xFFEE093D05FA254CULL;

    static bool Usable(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof(bits));
        return bits != kUnusableBits;
    }

    // Number at text[pos] (a digit): "0x" and hexadecimal digits read as a
    // 32-bit signed value saturating at 2147483647, otherwise a decimal double.
    static bool ReadNumber(const char* text, const char* end, size_t& pos, double& value) {
        const char* p = text + pos;
        if (p[0] == '0' && p[1] == 'x') {
            const char* q = p + 2;
            uint64_t acc = 0;
            for (int d; (d = HexDigit(*q)) >= 0; ++q) {
                if (acc <= 0x7FFFFFFF) {
                    acc = acc * 16 + static_cast<uint64_t>(d);
                }
            }
            if (q == p + 2) {
                return false;
            }
            value = acc > 0x7FFFFFFF ? 2147483647.0 : static_cast<double>(acc);
            pos = static_cast<size_t>(q - text);
            return true;
        }
        double v = 0;
        // Locale-independent: the decimal point is always ".".
        const std::from_chars_result r = std::from_chars(p, end, v, std::chars_format::general);
        if (r.ptr == p) {
            return false;
        }
        if (r.ec == std::errc::result_out_of_range) {
            v = DecimalOverflows(p, r.ptr) ? HUGE_VAL : 0.0;
        }
        value = v;
        pos = static_cast<size_t>(r.ptr - text);
        return true;
    }

    static const char* BitNot(double a, double& r) {
        if (!InInt32Range(a)) {
            return Msg::kTooBig;
        }
        r = static_cast<double>(~static_cast<int32_t>(a));
        return nullptr;
    }

    static const char* Binary(uint8_t op, double a, double b, double& r) {
        switch (op) {
        case kOpPlus:
            r = a + b;
            return nullptr;
        case kOpMinus:
            r = a - b;
            return nullptr;
        case kOpMultiply:
            r = a * b;
            return nullptr;
        case kOpDivide:
            if (b == 0) {
                return Msg::kInfinity;
            }
            r = a / b;
            return nullptr;
        case kOpRemainder:
            r = std::fmod(a, b);
            return nullptr;
        case kOpPower:
            r = std::pow(a, b);
            return nullptr;
        case kOpPositiveDiv:
            if (a <= 0) {
                r = 0;
                return nullptr;
            }
            if (b == 0) {
                return Msg::kInfinity;
            }
            r = std::ceil(a / b);
            return nullptr;
        case kOpShiftLeft:
        case kOpShiftRight:
        case kOpBitXor:
        case kOpBitAnd:
        case kOpBitOr: {
            if (!InInt32Range(a) || !InInt32Range(b)) {
                return Msg::kTooBig;
            }
            const int32_t x = static_cast<int32_t>(a);
            const int32_t y = static_cast<int32_t>(b);
            const unsigned count = static_cast<uint32_t>(y) & 31u;
            int32_t v;
            if (op == kOpShiftLeft) {
                v = static_cast<int32_t>(static_cast<uint32_t>(x) << count);
            } else if (op == kOpShiftRight) {
                v = x >> count; // arithmetic: the sign is kept
            } else if (op == kOpBitXor) {
                v = x ^ y;
            } else if (op == kOpBitAnd) {
                v = x & y;
            } else {
                v = x | y;
            }
            r = static_cast<double>(v);
            return nullptr;
        }
        case kOpNotEqual:
            r = a != b ? 1.0 : 0.0;
            return nullptr;
        case kOpGreaterEqual:
            r = a >= b ? 1.0 : 0.0;
            return nullptr;
        case kOpLessEqual:
            r = a <= b ? 1.0 : 0.0;
            return nullptr;
        case kOpEqual:
            r = a == b ? 1.0 : 0.0;
            return nullptr;
        case kOpGreater:
            r = a > b ? 1.0 : 0.0;
            return nullptr;
        case kOpLess:
            r = a < b ? 1.0 : 0.0;
            return nullptr;
        case kOpAnd:
            r = (a != 0 && b != 0) ? 1.0 : 0.0;
            return nullptr;
        case kOpOr:
            r = (a != 0 || b != 0) ? 1.0 : 0.0;
            return nullptr;
        default:
            return Msg::kInternal; // "(", ")", ",", ";", ":=": nothing to compute
        }
    }

    // A finite non-zero double overflows (x10) or underflows (x0.1) within
    // about 650 steps; every further step leaves 0 or infinity unchanged, so
    // capping the step count keeps the result and bounds the time.
    static constexpr int kMaxRoundSteps = 2000;

    // ROUND(value [, digits]): scales by 10 (or 0.1 for negative digits) one
    // step at a time, rounds half away from zero, and scales back the same way.
    static const char* Round(int count, const double* args, const FormulaQuotedTexts*,
                             double& result) {
        if (count < 1 || count > 2) {
            return Msg::kParameterCount;
        }
        double value = args[0];
        double n = count == 2 ? std::trunc(args[1]) : 0.0;
        double factor = 10.0;
        if (n < 0) {
            factor = 0.1;
            n = -n;
        }
        const int steps = n >= kMaxRoundSteps ? kMaxRoundSteps : n > 0 ? static_cast<int>(n) : 0;
        for (int i = 0; i < steps; ++i) {
            value *= factor;
        }
        value = value >= 0 ? value + 0.5 : value - 0.5;
        value = std::trunc(value);
        const double inverse = 1.0 / factor;
        for (int i = 0; i < steps; ++i) {
            value *= inverse;
        }
        result = value;
        return nullptr;
    }

    static const BuiltinTable<double>& Builtins() {
        using B = Builtin<double>;
        static const BuiltinTable<double> table(std::vector<B>{
            {"ATAN", B::Unary, 0, [](double x) { return std::atan(x); }, nullptr},
            {"COS", B::Unary, 0, [](double x) { return std::cos(x); }, nullptr},
            {"SIN", B::Unary, 0, [](double x) { return std::sin(x); }, nullptr},
            {"TAN", B::Unary, 0, [](double x) { return std::tan(x); }, nullptr},
            {"ABS", B::Unary, 0, [](double x) { return std::fabs(x); }, nullptr},
            {"EXP", B::Unary, 0, [](double x) { return std::exp(x); }, nullptr},
            {"LN", B::Unary, 0, [](double x) { return std::log(x); }, nullptr},
            {"LG", B::Unary, 0, [](double x) { return std::log10(x); }, nullptr},
            {"SQRT", B::Unary, 0, [](double x) { return std::sqrt(x); }, nullptr},
            {"FRAC", B::Unary, 0,
             [](double x) {
                 double whole;
                 return std::modf(x, &whole);
             },
             nullptr},
            {"TRUNC", B::Unary, 0, [](double x) { return x < 0 ? std::ceil(x) : std::floor(x); },
             nullptr},
            {"FLOOR", B::Unary, 0, [](double x) { return std::floor(x); }, nullptr},
            {"CEIL", B::Unary, 0, [](double x) { return std::ceil(x); }, nullptr},
            {"ROUND", B::List, 0, nullptr, &Round},
            {"ASIN", B::Unary, 0, [](double x) { return std::asin(x); }, nullptr},
            {"ACOS", B::Unary, 0, [](double x) { return std::acos(x); }, nullptr},
            {"SGN", B::Unary, 0, [](double x) { return x > 0   ? 1.0
                                                       : x < 0 ? -1.0
                                                               : 0.0; },
             nullptr},
            {"NEG", B::Unary, 0, [](double x) { return -x; }, nullptr},
            {"E", B::Constant, 2.718281828459045, nullptr, nullptr},
            {"PI", B::Constant, 3.141592653589793, nullptr, nullptr},
        });
        return table;
    }

    static double Negate(double x) { return -x; }
};

// ---- Integer variant ---------------------------------------------------------------

template <>
struct VariantOps<int64_t> {
    static constexpr int64_t kQuotedPlaceholder = 0;

    static bool Usable(int64_t) { return true; }

    // Adds a digit to a value that saturates at the largest signed 64-bit value.
    static uint64_t Accumulate(uint64_t acc, unsigned base, unsigned digit) {
        constexpr uint64_t kMax = static_cast<uint64_t>(INT64_MAX);
        if (acc > (kMax - digit) / base) {
            return kMax;
        }
        return acc * base + digit;
    }

    // Number at text[pos] (a digit): "0x" and hexadecimal digits, or decimal
    // digits (a "." ends the number); both saturate at the largest value.
    static bool ReadNumber(const char* text, const char*, size_t& pos, int64_t& value) {
        const char* p = text + pos;
        uint64_t acc = 0;
        const char* q = p;
        if (p[0] == '0' && p[1] == 'x') {
            q = p + 2;
            for (int d; (d = HexDigit(*q)) >= 0; ++q) {
                acc = Accumulate(acc, 16, static_cast<unsigned>(d));
            }
            if (q == p + 2) {
                return false;
            }
        } else {
            for (; *q >= '0' && *q <= '9'; ++q) {
                acc = Accumulate(acc, 10, static_cast<unsigned>(*q - '0'));
            }
            if (q == p) {
                return false;
            }
        }
        value = static_cast<int64_t>(acc);
        pos = static_cast<size_t>(q - text);
        return true;
    }

    static const char* BitNot(int64_t a, int64_t& r) {
        if (!InInt32Range(a)) {
            return Msg::kTooBig;
        }
        r = ~a;
        return nullptr;
    }

    static int64_t Wrap(uint64_t v) { return static_cast<int64_t>(v); }

    static const char* Binary(uint8_t op, int64_t a, int64_t b, int64_t& r) {
        const uint64_t ua = static_cast<uint64_t>(a);
        const uint64_t ub = static_cast<uint64_t>(b);
        switch (op) {
        case kOpPlus:
            r = Wrap(ua + ub);
            return nullptr;
        case kOpMinus:
            r = Wrap(ua - ub);
            return nullptr;
        case kOpMultiply:
            r = Wrap(ua * ub);
            return nullptr;
        case kOpDivide:
        case kOpRemainder:
            if (b == 0) {
                return Msg::kInfinity;
            }
            // The one quotient that does not fit in 64 bits.
            if (a == INT64_MIN && b == -1) {
                return Msg::kTooBig;
            }
            r = op == kOpDivide ? a / b : a % b;
            return nullptr;
        case kOpPositiveDiv:
            if (a <= 0) {
                r = 0;
                return nullptr;
            }
            if (b == 0) {
                return Msg::kInfinity;
            }
            r = a / b;
            return nullptr;
        case kOpPower: // not a power in this variant: the same as "<>"
        case kOpNotEqual:
            r = a != b;
            return nullptr;
        case kOpShiftLeft:
        case kOpShiftRight:
        case kOpBitXor:
        case kOpBitAnd:
        case kOpBitOr: {
            if (!InInt32Range(a) || !InInt32Range(b)) {
                return Msg::kTooBig;
            }
            const unsigned count = static_cast<unsigned>(ub & 0xFFu);
            if (op == kOpShiftLeft) {
                r = count >= 64 ? 0 : Wrap(ua << count);
            } else if (op == kOpShiftRight) {
                r = count >= 64 ? (a < 0 ? -1 : 0) : a >> count; // arithmetic
            } else if (op == kOpBitXor) {
                r = a ^ b;
            } else if (op == kOpBitAnd) {
                r = a & b;
            } else {
                r = a | b;
            }
            return nullptr;
        }
        case kOpGreaterEqual:
            r = a >= b;
            return nullptr;
        case kOpLessEqual:
            r = a <= b;
            return nullptr;
        case kOpEqual:
            r = a == b;
            return nullptr;
        case kOpGreater:
            r = a > b;
            return nullptr;
        case kOpLess:
            r = a < b;
            return nullptr;
        case kOpAnd:
            r = a != 0 && b != 0;
            return nullptr;
        case kOpOr:
            r = a != 0 || b != 0;
            return nullptr;
        default:
            return Msg::kInternal; // "(", ")", ",", ";", ":=": nothing to compute
        }
    }

    static int64_t Negate(int64_t x) { return Wrap(0 - static_cast<uint64_t>(x)); }

    static const BuiltinTable<int64_t>& Builtins() {
        using B = Builtin<int64_t>;
        static const BuiltinTable<int64_t> table(std::vector<B>{
            {"SGN", B::Unary, 0, [](int64_t x) -> int64_t { return x > 0   ? 1
                                                                   : x < 0 ? -1
                                                                           : 0; },
             nullptr},
            {"NEG", B::Unary, 0, &Negate, nullptr},
        });
        return table;
    }
};

inline bool IsSpaceChar(char ch) {
    return ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n';
}

} // namespace

// ---- Evaluator ---------------------------------------------------------------------

template <typename T>
CFormulaParserT<T>::CFormulaParserT() : m_values{}, m_message{} {
    // The shared tables are built here, on the first construction of each
    // variant, while the node tree is set up on one thread.
    (void)Operators();
    (void)CharClasses();
    (void)VariantOps<T>::Builtins();
    m_text.reserve(256);
}

template <typename T>
CFormulaParserT<T>::~CFormulaParserT() = default;

template <typename T>
const char* CFormulaParserT<T>::Evaluate(const char* formula, T& result) noexcept {
    const char* message;
    try {
        message = Run(formula, result);
    } catch (...) {
        // Only memory can run out here (text copy, quoted texts, script variables).
        message = Msg::kInternal;
    }
    // Nothing of this evaluation survives it.
    ResetStacks();
    m_opTop = -1;
    m_scriptVariables.Clear();
    return message;
}

template <typename T>
const char* CFormulaParserT<T>::Run(const char* formula, T& result) {
    if (formula == nullptr || formula[0] == '\0') {
        result = 0;
        return nullptr;
    }
    m_text.assign(formula);
    m_pos = 0;
    if (m_text.size() >= 3 && m_text[0] == '#' && m_text[1] == '!' && IsSpaceChar(m_text[2])) {
        m_pos = 3;
        return RunScript(result);
    }
    return ParseExpression(false, result);
}

// script := { NAME ":=" expression ";" } RETURN expression
template <typename T>
const char* CFormulaParserT<T>::RunScript(T& result) {
    m_scriptVariables.Clear();
    bool haveName = false;
    size_t nameStart = 0;
    size_t nameLength = 0;
    for (;;) {
        NextToken();
        switch (m_kind) {
        case TokenKind::End:
            return Msg::kScriptEnd;
        case TokenKind::Identifier:
            FoldIdentifier();
            if (haveName) {
                return Msg::kNameOrReturn;
            }
            if (m_tokenLength == 6 && std::memcmp(&m_text[m_tokenStart], "RETURN", 6) == 0) {
                return ParseExpression(true, result);
            }
            haveName = true;
            nameStart = m_tokenStart;
            nameLength = m_tokenLength;
            break;
        case TokenKind::Operator: {
            if (m_tokenOp != kOpAssign || !haveName) {
                return Msg::kAssignment;
            }
            T value{};
            if (const char* message = ParseExpression(true, value)) {
                return message;
            }
            const char* name = m_text.data() + nameStart;
            const size_t index = m_scriptVariables.Find(name, nameLength);
            const bool stored = index != CNameTable::npos
                                    ? m_scriptVariables.SetValueAt(index, &value)
                                    : m_scriptVariables.Add(name, nameLength, &value);
            if (!stored) {
                return Msg::kInternal;
            }
            haveName = false;
            break;
        }
        default:
            return Msg::kSyntax;
        }
    }
}

// Counts the raw brackets up to the end of the text (in a script, up to the
// next ";"), those inside quotes and comments included.
template <typename T>
const char* CFormulaParserT<T>::CheckBrackets(bool inScript) const noexcept {
    long depth = 0;
    for (const char* p = m_text.c_str() + m_pos; *p != '\0'; ++p) {
        if (*p == ';' && inScript) {
            break;
        }
        if (*p == '(') {
            ++depth;
        } else if (*p == ')' && --depth < 0) {
            return Msg::kBrackets;
        }
    }
    return depth == 0 ? nullptr : Msg::kBrackets;
}

template <typename T>
void CFormulaParserT<T>::ResetStacks() noexcept {
    for (int i = 0; i <= m_opTop && i < kStackSize; ++i) {
        m_ops[i].quoted.reset();
    }
    m_opTop = 0;
    m_ops[0].op = kOpOpen; // sentinel
    m_ops[0].unary = nullptr;
    m_ops[0].list = nullptr;
    m_valueTop = -1;
}

template <typename T>
const char* CFormulaParserT<T>::PushValue(T value) noexcept {
    if (m_valueTop + 1 >= kStackSize) {
        return Msg::kInternal;
    }
    m_values[++m_valueTop] = value;
    return nullptr;
}

template <typename T>
const char* CFormulaParserT<T>::PushOperator(uint8_t op, UnaryFunction unary, ListFunction list) {
    if (m_opTop + 1 >= kStackSize) {
        return Msg::kInternal;
    }
    OperatorEntry& entry = m_ops[++m_opTop];
    entry.op = op;
    entry.unary = unary;
    entry.list = list;
    entry.savedTop = static_cast<int8_t>(m_valueTop);
    entry.quoted.reset();
    return nullptr;
}

// expression: operands and operators in one pass; a pending operator is
// applied as soon as one of lower or equal level arrives.
template <typename T>
const char* CFormulaParserT<T>::ParseExpression(bool inScript, T& result) {
    if (const char* message = CheckBrackets(inScript)) {
        return message;
    }
    ResetStacks();
    m_expectOperand = 2;
    for (;;) {
        NextToken();
        if (m_expectOperand > -1) {
            --m_expectOperand;
        }
        const char* message = nullptr;
        bool finished = false;
        switch (m_kind) {
        case TokenKind::Number:
            message = PushValue(m_tokenValue);
            break;
        case TokenKind::Identifier:
            message = ResolveIdentifier(inScript);
            break;
        case TokenKind::Quoted: {
            // Only directly inside the argument list of a list function.
            if (m_opTop < 1 || m_ops[m_opTop - 1].op != kOpFunctionList) {
                return Msg::kSyntax;
            }
            std::unique_ptr<FormulaQuotedTexts>& quoted = m_ops[m_opTop - 1].quoted;
            if (!quoted) {
                quoted = std::make_unique<FormulaQuotedTexts>();
            }
            quoted->push_back(std::string_view(m_text.data() + m_tokenStart, m_tokenLength));
            message = PushValue(VariantOps<T>::kQuotedPlaceholder);
            break;
        }
        case TokenKind::Operator: {
            const uint8_t op = m_tokenOp;
            if (op == kOpOpen) {
                message = PushOperator(kOpOpen);
                m_expectOperand = 2;
                break;
            }
            if (op == kOpClose) {
                message = ApplyUntilOpen(Msg::kBrackets);
                break;
            }
            if (op == kOpComma) {
                message = ApplyUntilOpen(Msg::kSyntax);
                if (message == nullptr) {
                    if (m_opTop < 0 || m_ops[m_opTop].op != kOpFunctionList) {
                        return Msg::kSyntax;
                    }
                    message = PushOperator(kOpOpen);
                    m_expectOperand = 2;
                }
                break;
            }
            if (op == kOpPlus && m_expectOperand >= 1) {
                break; // prefix plus
            }
            if (op == kOpMinus && m_expectOperand >= 1) {
                message = PushOperator(kOpFunction, &VariantOps<T>::Negate); // prefix minus
                break;
            }
            if (op == kOpSemicolon) {
                if (!inScript) {
                    return Msg::kSyntax;
                }
                finished = true;
                break;
            }
            if (op == kOpQuestion || op == kOpColon) {
                m_expectOperand = 2;
            }
            const int level = kLevels[op];
            while (m_opTop >= 0 && level <= kLevels[m_ops[m_opTop].op]) {
                if (const char* applied = ApplyTop()) {
                    return applied;
                }
            }
            message = m_opTop >= 0 ? PushOperator(op) : Msg::kInternal;
            break;
        }
        case TokenKind::End:
            finished = true;
            break;
        default:
            return Msg::kSyntax;
        }
        if (message != nullptr) {
            return message;
        }
        if (finished) {
            if (const char* applied = ApplyUntilOpen(Msg::kBrackets)) {
                return applied;
            }
            if (m_opTop != -1 || m_valueTop != 0) {
                return Msg::kInternal;
            }
            result = m_values[0];
            return nullptr;
        }
    }
}

// Built-in names first, then the caller's variables, then (in a script) the
// script's own.
template <typename T>
const char* CFormulaParserT<T>::ResolveIdentifier(bool inScript) {
    FoldIdentifier();
    const char* name = m_text.data() + m_tokenStart;
    const size_t length = m_tokenLength;
    const BuiltinTable<T>& builtins = VariantOps<T>::Builtins();
    size_t index = builtins.names.Find(name, length);
    if (index != CNameTable::npos) {
        uint32_t function;
        std::memcpy(&function, builtins.names.ValueAt(index), sizeof(function));
        const Builtin<T>& builtin = builtins.functions[function];
        switch (builtin.kind) {
        case Builtin<T>::Constant:
            return PushValue(builtin.constant);
        case Builtin<T>::Unary:
            return PushOperator(kOpFunction, builtin.unary);
        case Builtin<T>::List:
            return PushOperator(kOpFunctionList, nullptr, builtin.list);
        }
        return Msg::kInternal;
    }
    const CNameTable* tables[2] = {m_variables, inScript ? &m_scriptVariables : nullptr};
    for (const CNameTable* table : tables) {
        if (table == nullptr) {
            continue;
        }
        if (table->ValueSize() != sizeof(T)) {
            return Msg::kInternal; // a table of another variant's values
        }
        index = table->Find(name, length);
        if (index != CNameTable::npos) {
            T value;
            std::memcpy(&value, table->ValueAt(index), sizeof(T));
            if (!VariantOps<T>::Usable(value)) {
                return Msg::kInternal;
            }
            return PushValue(value);
        }
    }
    return UnknownName(m_tokenStart, length);
}

template <typename T>
const char* CFormulaParserT<T>::UnknownName(size_t start, size_t length) noexcept {
    // The name is cut so that the whole text always fits the buffer.
    constexpr size_t kFixed = sizeof("#  - Unknown function/variable!") - 1;
    constexpr size_t kMaxName = kMessageSize - 1 - kFixed;
    const int shown = static_cast<int>(length < kMaxName ? length : kMaxName);
    std::snprintf(m_message, sizeof(m_message), "# %.*s - Unknown function/variable!", shown,
                  m_text.data() + start);
    return m_message;
}

template <typename T>
const char* CFormulaParserT<T>::ApplyUntilOpen(const char* noOpenMessage) {
    while (m_opTop >= 0 && m_ops[m_opTop].op != kOpOpen) {
        if (const char* message = ApplyTop()) {
            return message;
        }
    }
    // Possible only when brackets hidden in comments or quotes fooled the
    // bracket check: the sentinel itself has been closed.
    if (m_opTop < 0) {
        return noOpenMessage;
    }
    m_ops[m_opTop].quoted.reset();
    --m_opTop;
    return nullptr;
}

template <typename T>
const char* CFormulaParserT<T>::ApplyTop() {
    OperatorEntry& entry = m_ops[m_opTop];
    const uint8_t op = entry.op;
    const UnaryFunction unary = entry.unary;
    const ListFunction list = entry.list;
    const int savedTop = entry.savedTop;
    const std::unique_ptr<FormulaQuotedTexts> quoted = std::move(entry.quoted);
    --m_opTop;

    if (op == kOpFunctionList) {
        // Its arguments are every value pushed since the entry was.
        const int count = m_valueTop - savedTop;
        if (count < 0) {
            return Msg::kParameterCount; // an operator inside took values from below
        }
        if (list == nullptr) {
            return Msg::kInternal;
        }
        T value{};
        if (const char* message = list(count, m_values + (savedTop + 1), quoted.get(), value)) {
            return message;
        }
        m_valueTop = savedTop;
        return PushValue(value);
    }
    if (op == kOpQuestion) {
        return nullptr; // a "?" without ":" leaves its operands
    }
    if (m_valueTop < 0) {
        return Msg::kExtraOperation;
    }
    const T right = m_values[m_valueTop--];
    if (op == kOpFunction) {
        return unary != nullptr ? PushValue(unary(right)) : Msg::kInternal;
    }
    T value{};
    if (op == kOpBitNot) {
        if (const char* message = VariantOps<T>::BitNot(right, value)) {
            return message;
        }
        return PushValue(value);
    }
    if (m_valueTop < 0) {
        return Msg::kExtraOperation;
    }
    const T left = m_values[m_valueTop--];
    if (op == kOpColon) {
        if (m_opTop < 0 || m_ops[m_opTop].op != kOpQuestion) {
            return Msg::kLogical;
        }
        m_ops[m_opTop].quoted.reset();
        --m_opTop;
        if (m_valueTop < 0) {
            return Msg::kExtraOperation;
        }
        const T condition = m_values[m_valueTop--];
        return PushValue(condition != 0 ? left : right);
    }
    if (const char* message = VariantOps<T>::Binary(op, left, right, value)) {
        return message;
    }
    return PushValue(value);
}

template <typename T>
void CFormulaParserT<T>::FoldIdentifier() noexcept {
    char* p = &m_text[m_tokenStart];
    for (size_t i = 0; i < m_tokenLength; ++i) {
        if (p[i] >= 'a' && p[i] <= 'z') {
            p[i] = static_cast<char>(p[i] - 'a' + 'A');
        }
    }
}

template <typename T>
void CFormulaParserT<T>::NextToken() noexcept {
    const char* text = m_text.c_str();
    for (;;) {
        while (IsSpaceChar(text[m_pos])) {
            ++m_pos;
        }
        m_tokenStart = m_pos;
        m_tokenLength = 0;
        switch (ClassOf(text[m_pos])) {
        case kEnd:
            m_kind = TokenKind::End;
            return;
        case kIdentifier: {
            size_t end = m_pos + 1;
            for (uint8_t c; (c = ClassOf(text[end])) == kIdentifier || c == kDigit;) {
                ++end;
            }
            m_kind = TokenKind::Identifier;
            m_tokenLength = end - m_pos;
            m_pos = end;
            return;
        }
        case kDigit: {
            size_t end = m_pos;
            if (!VariantOps<T>::ReadNumber(text, text + m_text.size(), end, m_tokenValue)) {
                m_kind = TokenKind::Invalid;
                return;
            }
            m_kind = TokenKind::Number;
            m_tokenLength = end - m_pos;
            m_pos = end;
            return;
        }
        case kOperatorStart: {
            size_t length = 0;
            const int op = Operators().Lookup(text + m_pos, &length);
            if (op < 0) {
                m_kind = TokenKind::Invalid;
                return;
            }
            if (op == kOpComment) {
                const size_t close = m_text.find("*/", m_pos + length);
                if (close == std::string::npos) {
                    m_kind = TokenKind::Invalid;
                    return;
                }
                m_pos = close + 2;
                continue;
            }
            m_kind = TokenKind::Operator;
            m_tokenOp = static_cast<uint8_t>(op);
            m_tokenLength = length;
            m_pos += length;
            return;
        }
        case kQuote: {
            const size_t close = m_text.find('\'', m_pos + 1);
            if (close == std::string::npos) {
                m_kind = TokenKind::Invalid;
                return;
            }
            m_kind = TokenKind::Quoted;
            m_tokenStart = m_pos + 1;
            m_tokenLength = close - m_pos - 1;
            m_pos = close + 1;
            return;
        }
        default:
            m_kind = TokenKind::Invalid;
            return;
        }
    }
}

template class CFormulaParserT<double>;
template class CFormulaParserT<int64_t>;

} // namespace NodeApi
