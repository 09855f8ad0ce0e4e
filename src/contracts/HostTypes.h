// Basic types shared by the host library contract and the host records.
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// The host's opaque procedure handle: passed first to every operation and
// handed on unchanged to every host function the operation calls.
typedef void* KProcHandle;

// Host result code: 1 is success, anything else a host error code.
typedef int32_t KErr;

#ifdef __cplusplus
}
#endif
