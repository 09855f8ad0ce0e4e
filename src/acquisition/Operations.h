// The per-instance and query operations FGInit registers. Each is written
// in its own source: open/close, grabbing, parameters and queries.
#pragma once

#include <stdint.h>

#include "acquisition/HostRecords.h"

namespace IOeXcite {

KErr OpenInstance(KProcHandle proc, HostInstance* instance);
KErr CloseInstance(KProcHandle proc, HostInstance* instance);
KErr GrabImage(KProcHandle proc, HostInstance* instance, HostImage* images, int32_t* count);
KErr StartAsyncGrab(KProcHandle proc, HostInstance* instance, double maxDelay);
KErr GrabImageAsync(KProcHandle proc, HostInstance* instance, double maxDelay, HostImage* images,
                    int32_t* count);
KErr QueryInfo(KProcHandle proc, int32_t query, const char** text, HostValue** values,
               int32_t* count);
KErr SetParameter(KProcHandle proc, HostInstance* instance, const char* name,
                  const HostValue* values, int32_t count);
KErr GetParameter(KProcHandle proc, HostInstance* instance, const char* name, HostValue* values,
                  int32_t* count);

} // namespace IOeXcite
