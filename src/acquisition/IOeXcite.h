// The host-facing operations of the module: the exported entry FGInit and the
// operations it registers in the host's interface-class record.
#pragma once

#include <stdint.h>

#include "acquisition/HostRecords.h"

extern "C" {
// Fills the host's interface-class record with the module's operations, the
// instance limit and the open-parameter defaults; returns 1.
__attribute__((visibility("default"))) KErr FGInit(KProcHandle proc, InterfaceClass* ic);
}

namespace IOeXcite {

// Binds a free slot to `instance` and returns the address of its instance
// cell in the saved interface-class record, or null when none is free.
HostInstance** ReserveSlot(KProcHandle proc, HostInstance* instance);
KErr AcceptNoOp(KProcHandle proc, HostInstance* instance);
// Stores 0 through `count` and touches nothing else.
KErr ReportEmptyCount(KProcHandle proc, HostInstance* instance, const void* a3, const void* a4,
                      const void* a5, int32_t* count);

} // namespace IOeXcite
