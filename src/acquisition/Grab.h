// The grab cycle shared by the grabbing operations and the parameters.
#pragma once

#include <stdint.h>

#include "acquisition/HostRecords.h"
#include "acquisition/InstanceTable.h"

namespace IOeXcite {

// Text every queued buffer carries as its context; the stream hands it back
// and nothing reads it.
constexpr const char kBufferContextText[] = "MyVeryFirstImage";

// Cancels the grab and collects buffers with time-out 0 while the stream
// answers filled or timed out (at most a bounded number of rounds).
// Camera-layer exceptions pass through.
void DrainStream(InstanceSlot& slot);

// Waits for the current acquisition (starting one as the asynchronous rules
// say) and hands out the index of the filled buffer. 1, or 5306 when the
// wait timed out or delivered an incomplete frame, 5327 for anything else
// (including a caught camera-layer failure: no image is handed out then).
KErr WaitForImage(KProcHandle proc, HostInstance* instance, int32_t* bufferIndex);

} // namespace IOeXcite
