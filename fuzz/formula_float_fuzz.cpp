// Fuzz target: arbitrary bytes as a formula for the float evaluator, with a
// fixed variable table. Any crash, sanitizer report, hang, escaped exception or
// message outside the evaluator's texts fails.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "nodeapi/FormulaParser.h"
#include "nodeapi/NameTable.h"

namespace {

const NodeApi::CNameTable& Variables() {
    static const NodeApi::CNameTable table = [] {
        NodeApi::CNameTable t;
        t.AddValue<double>("A", 6);
        t.AddValue<double>("B", -4);
        t.AddValue<double>("X", 0);
        t.AddValue<double>("BASE", 1024);
        t.AddValue<double>("MASKEDREG", 0x8E);
        t.AddValue<double>("FREG", 1);
        t.AddValue<double>("lower", 3);
        return t;
    }();
    return table;
}

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
    return length < NodeApi::CFormulaParser::kMessageSize && length >= sizeof(tail) + 1 &&
           std::strncmp(message, "# ", 2) == 0 &&
           std::strcmp(message + length - (sizeof(tail) - 1), tail) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One evaluator for every input, so state left behind by one evaluation
    // would show in the next.
    static NodeApi::CFormulaParser parser;
    parser.SetVariables(&Variables());
    const std::string text(reinterpret_cast<const char*>(data), size);
    double result = 0;
    const char* message = parser.Evaluate(text.c_str(), result);
    if (message != nullptr && !KnownMessage(message)) {
        std::abort();
    }
    // The same text must give the same outcome again.
    double again = 0;
    const char* second = parser.Evaluate(text.c_str(), again);
    if ((message == nullptr) != (second == nullptr)) {
        std::abort();
    }
    return 0;
}
