// The body both formula fuzz targets share: arbitrary bytes as a formula for
// one evaluator, with a fixed variable table. Any crash, sanitizer report,
// hang, escaped exception or message outside the evaluator's texts fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"

namespace FormulaFuzz {

// Value is the evaluator's number type (double or int64_t).
template <class Value>
const NodeApi::CNameTable& Variables() {
    static const NodeApi::CNameTable table = [] {
        NodeApi::CNameTable t;
        t.AddValue<Value>("A", 6);
        t.AddValue<Value>("B", -4);
        t.AddValue<Value>("X", 0);
        t.AddValue<Value>("BASE", 1024);
        t.AddValue<Value>("MASKEDREG", 0x8E);
        t.AddValue<Value>("FREG", 1);
        t.AddValue<Value>("lower", 3);
        return t;
    }();
    return table;
}

template <class Parser>
bool KnownMessage(const char* message) {
    using namespace NodeApi::FormulaMessage;
    const char* fixed[] = {kBrackets,  kSyntax,       kInternal,  kExtraOperation,
                           kInfinity,  kTooBig,       kLogical,   kParameterCount,
                           kScriptEnd, kNameOrReturn, kAssignment};
    for (const char* text : fixed) {
        if (std::strcmp(text, message) == 0) {
            return true;
        }
    }
    const size_t length = std::strlen(message);
    const char tail[] = " - Unknown function/variable!";
    return length < Parser::kMessageSize && length >= sizeof(tail) + 1 &&
           std::strncmp(message, "# ", 2) == 0 &&
           std::strcmp(message + length - (sizeof(tail) - 1), tail) == 0;
}

template <class Parser, class Value>
int TestOneInput(const uint8_t* data, size_t size) {
    // One evaluator for every input, so state left behind by one evaluation
    // would show in the next.
    static Parser parser;
    parser.SetVariables(&Variables<Value>());
    const std::string text(reinterpret_cast<const char*>(data), size);
    Value result = 0;
    const char* message = parser.Evaluate(text.c_str(), result);
    if (message != nullptr && !KnownMessage<Parser>(message)) {
        std::abort();
    }
    // The same text must give the same outcome again.
    Value again = 0;
    const char* second = parser.Evaluate(text.c_str(), again);
    if ((message == nullptr) != (second == nullptr)) {
        std::abort();
    }
    return 0;
}

} // namespace FormulaFuzz
