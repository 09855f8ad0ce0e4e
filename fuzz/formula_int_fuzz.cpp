// Fuzz target: arbitrary bytes as a formula for the int evaluator, with a
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
        t.AddValue<int64_t>("A", 6);
        t.AddValue<int64_t>("B", -4);
        t.AddValue<int64_t>("X", 0);
        t.AddValue<int64_t>("BASE", 1024);
        t.AddValue<int64_t>("MASKEDREG", 0x8E);
        t.AddValue<int64_t>("FREG", 1);
        t.AddValue<int64_t>("lower", 3);
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
    return length < NodeApi::CIntFormulaParser::kMessageSize && length >= sizeof(tail) + 1 &&
           std::strncmp(message, "# ", 2) == 0 &&
           std::strcmp(message + length - (sizeof(tail) - 1), tail) == 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One evaluator for every input, so state left behind by one evaluation
    // would show in the next.
    static NodeApi::CIntFormulaParser parser;
    parser.SetVariables(&Variables());
    const std::string text(reinterpret_cast<const char*>(data), size);
    int64_t result = 0;
    const char* message = parser.Evaluate(text.c_str(), result);
    if (message != nullptr && !KnownMessage(message)) {
        std::abort();
    }
    // The same text must give the same outcome again.
    int64_t again = 0;
    const char* second = parser.Evaluate(text.c_str(), again);
    if ((message == nullptr) != (second == nullptr)) {
        std::abort();
    }
    return 0;
}
