// Open and close of an acquisition instance, and the image-part clamps the
// parameters share with them.
#pragma once

#include <stdint.h>

#include "acquisition/HostRecords.h"
#include "acquisition/InstanceTable.h"
#include "device/GxCam.h"

namespace IOeXcite {

// Requested 0 gives the feature's maximum, values below its minimum the
// minimum, values above its maximum the maximum; others stay.
int32_t ClampWidth(XCamera::CGxCamera& camera, int32_t value);
int32_t ClampHeight(XCamera::CGxCamera& camera, int32_t value);
// As above on XPosition / YPosition, except that 0 stays 0.
int32_t ClampColumn(XCamera::CGxCamera& camera, int32_t value);
int32_t ClampRow(XCamera::CGxCamera& camera, int32_t value);

// The height one row step below the maximum: what a part narrower than the
// sensor gets instead of the full height. One row on cameras that take any
// height, one step of Height's increment on those that take rows in steps
// (the camera would refuse maximum - 1 there).
int32_t HeightBelowMaximum(XCamera::CGxCamera& camera);

// Frees what a failed open took (buffers, and the record when freeRecord is
// set), leaves the slot free and returns `code`.
KErr ReleaseOnFailure(KProcHandle proc, InstanceSlot& slot, bool freeRecord, KErr code);

} // namespace IOeXcite
