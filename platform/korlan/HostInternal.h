// Helpers the host library's sources share; none of them is exported.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "korlan/KorlanApp.h"

namespace korlan {

// Allocates a recorded host block of `kind` (K_BLOCK_*), zeroed. `source` may
// be null for plain blocks; local blocks are tied to `proc`.
KErr allocBlock(size_t size, int32_t kind, const char* source, int32_t line, KProcHandle proc,
                void** out);

// Longest text copied out of a value cell or printed, without terminator.
constexpr size_t kMaxTextLength = 4095;

// Copies `count` cells and the texts they point to into one host block
// (cells first, then the texts), so a single KXFree releases everything.
// Cells must be integers or texts with non-null text pointers.
KErr copyValueList(const HostValue* values, int32_t count, const char* source, int32_t line,
                   HostValue** out);

// Prints one host message like IOPrintErrorMessage (printf-style).
void printHostError(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Host global 64: non-zero while KNewImage clears new pixel memory.
int32_t clearNewImages();

} // namespace korlan
