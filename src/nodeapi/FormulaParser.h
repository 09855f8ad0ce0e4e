// Formula evaluators: CFormulaParser (double) and CIntFormulaParser (signed
// 64-bit), one-pass operator-precedence parsers over a formula text with
// named variables, and the operator indices and message texts they share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "nodeapi/NameTable.h"

namespace NodeApi {

// Quoted-text arguments of one function call, in source order. The views
// point into the evaluator's copy of the formula and are valid during the call.
using FormulaQuotedTexts = std::vector<std::string_view>;

// Operator indices: the order of the operator definition string, then the two
// function-call entries that only live on the operator stack.
enum FormulaOperator : uint8_t {
    kOpShiftLeft,    // "<<"
    kOpShiftRight,   // ">>"
    kOpPower,        // "**"
    kOpNotEqual,     // "<>"
    kOpGreaterEqual, // ">="
    kOpLessEqual,    // "<="
    kOpAnd,          // "&&"
    kOpOr,           // "||"
    kOpComment,      // "/*"
    kOpAssign,       // ":="
    kOpOpen,         // "("
    kOpPlus,         // "+"
    kOpMinus,        // "-"
    kOpMultiply,     // "*"
    kOpDivide,       // "/"
    kOpRemainder,    // "%"
    kOpPositiveDiv,  // "$"
    kOpBitXor,       // "^"
    kOpBitNot,       // "~"
    kOpBitAnd,       // "&"
    kOpBitOr,        // "|"
    kOpEqual,        // "="
    kOpGreater,      // ">"
    kOpLess,         // "<"
    kOpQuestion,     // "?"
    kOpColon,        // ":"
    kOpClose,        // ")"
    kOpComma,        // ","
    kOpSemicolon,    // ";"
    kOpFunction,     // one-argument function or prefix minus
    kOpFunctionList, // function with an argument list
    kOpCount
};

// The evaluator's message texts; every failure returns one of these (or the
// unknown-name text, formatted with the name).
namespace FormulaMessage {
constexpr const char* kBrackets = "#Brackets not match!";
constexpr const char* kSyntax = "#Syntax error!";
constexpr const char* kInternal = "#Internal error!";
constexpr const char* kExtraOperation = "#Extra operation!";
constexpr const char* kInfinity = "#Infinity somewhere!";
constexpr const char* kTooBig = "#Value too big for operation!";
constexpr const char* kLogical = "#Logical expression error!";
constexpr const char* kUnknownName = "# %s - Unknown function/variable!";
constexpr const char* kParameterCount = "#Invalid parameters count for function call!";
constexpr const char* kScriptEnd = "#Unexpected end of script!";
constexpr const char* kNameOrReturn = "#Variable name or return expected!";
constexpr const char* kAssignment = "#Assignment expected!";
} // namespace FormulaMessage

// The shared evaluator; T is double or int64_t. Use the two classes below.
template <typename T>
class CFormulaParserT {
public:
    using ValueType = T;
    // One-argument function (index kOpFunction entries, also the prefix minus).
    using UnaryFunction = T (*)(T);
    // Function with an argument list: count values at args (source order),
    // the quoted texts (null when none); returns null or a message.
    using ListFunction = const char* (*)(int count, const T* args, const FormulaQuotedTexts* quoted,
                                         T& result);

    // Entries of each stack; deeper nesting or longer queues are refused.
    static constexpr int kStackSize = 64;
    // Size of the message buffer, terminating NUL included; a longer unknown
    // name is cut to fit.
    static constexpr size_t kMessageSize = 256;

    CFormulaParserT();
    ~CFormulaParserT();
    CFormulaParserT(const CFormulaParserT&) = delete;
    CFormulaParserT& operator=(const CFormulaParserT&) = delete;

    // The caller's variables (upper-case names, values of sizeof(T) bytes),
    // read during Evaluate and never changed; null for none. The table must
    // outlive every Evaluate that uses it.
    void SetVariables(const CNameTable* variables) noexcept { m_variables = variables; }
    const CNameTable* Variables() const noexcept { return m_variables; }

    // Evaluates a formula (NUL-terminated; null or empty reads as 0). Returns
    // null and sets result on success; otherwise returns a message beginning
    // with "#" and leaves result unchanged. The message stays valid until the
    // next Evaluate on this instance. Never throws.
    const char* Evaluate(const char* formula, T& result) noexcept;

private:
    enum class TokenKind : uint8_t { End, Identifier, Number, Operator, Quoted, Invalid };

    struct OperatorEntry {
        uint8_t op = kOpOpen;
        UnaryFunction unary = nullptr;
        ListFunction list = nullptr;
        // Value-stack top when a list function was pushed (-1 .. 63).
        int8_t savedTop = -1;
        std::unique_ptr<FormulaQuotedTexts> quoted;
    };

    const char* Run(const char* formula, T& result);
    const char* RunScript(T& result);
    const char* ParseExpression(bool inScript, T& result);
    const char* CheckBrackets(bool inScript) const noexcept;
    const char* ResolveIdentifier(bool inScript);
    const char* ApplyTop();
    const char* ApplyUntilOpen(const char* noOpenMessage);
    const char* PushOperator(uint8_t op, UnaryFunction unary = nullptr,
                             ListFunction list = nullptr);
    const char* PushValue(T value) noexcept;
    const char* UnknownName(size_t start, size_t length) noexcept;
    void ResetStacks() noexcept;
    void NextToken() noexcept;
    void FoldIdentifier() noexcept;

    OperatorEntry m_ops[kStackSize];
    T m_values[kStackSize];
    int m_opTop = -1;
    int m_valueTop = -1;
    // Counts down per token; a "+" or "-" is a prefix sign while it is 1 or more.
    int m_expectOperand = 2;

    // Tokenizer: own copy of the formula (identifiers folded to upper case in
    // place), position, and the last token.
    std::string m_text;
    size_t m_pos = 0;
    TokenKind m_kind = TokenKind::End;
    size_t m_tokenStart = 0;
    size_t m_tokenLength = 0;
    uint8_t m_tokenOp = 0;
    T m_tokenValue{};

    const CNameTable* m_variables = nullptr;
    CNameTable m_scriptVariables;
    char m_message[kMessageSize];
};

extern template class CFormulaParserT<double>;
extern template class CFormulaParserT<int64_t>;

// Every value an IEEE 754 double; used by the floating formula node.
class CFormulaParser : public CFormulaParserT<double> {};

// Every value a signed 64-bit integer; used by the integer formula node.
class CIntFormulaParser : public CFormulaParserT<int64_t> {};

} // namespace NodeApi
