// Fuzz target: arbitrary bytes as a formula for the int evaluator.
#include <cstddef>
#include <cstdint>

#include "fuzz/FormulaFuzzCommon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return FormulaFuzz::TestOneInput<NodeApi::CIntFormulaParser, int64_t>(data, size);
}
