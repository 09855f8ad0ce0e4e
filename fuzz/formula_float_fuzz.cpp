// Fuzz target: arbitrary bytes as a formula for the float evaluator.
#include <cstddef>
#include <cstdint>

#include "fuzz/FormulaFuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FormulaFuzz::TestOneInput<NodeApi::CFormulaParser, double>(data, size);
}
