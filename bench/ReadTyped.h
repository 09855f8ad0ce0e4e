// Reading every typed feature of a camera the way a caller does: only those
// readable now. Shared by the feature-tree and the device benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include "nodeapi/Interfaces.h"
#include "xcam/XCamInterface.h"

namespace KacqBench {

using namespace NodeApi;
using XCamInterface::CTypedEnumeration;
using XCamInterface::CXCamInterface;

inline void ReadValue(IInteger* value) {
    benchmark::DoNotOptimize(value->GetValue());
}
inline void ReadValue(IBoolean* value) {
    benchmark::DoNotOptimize(value->GetValue());
}
inline void ReadValue(IFloat* value) {
    benchmark::DoNotOptimize(value->GetValue());
}
inline void ReadValue(IString* value) {
    benchmark::DoNotOptimize(value->GetValue());
}
inline void ReadValue(CTypedEnumeration* value) {
    benchmark::DoNotOptimize(value->GetIntValue());
}

// Reads a feature the way a caller does: only when it is readable now.
template <class V>
inline int ReadFeature(V* value) {
    const EAccessMode mode = dynamic_cast<INode*>(value)->GetAccessMode();
    if (mode != RO && mode != RW)
        return 0;
    ReadValue(value);
    return 1;
}

inline int ReadAllTyped(CXCamInterface& x) {
    int read = 0;
#define XCAM_READ_FEATURE(name, type) read += ReadFeature(x.name);
    XCAM_FEATURE_LIST(XCAM_READ_FEATURE)
#undef XCAM_READ_FEATURE
    return read;
}

} // namespace KacqBench
