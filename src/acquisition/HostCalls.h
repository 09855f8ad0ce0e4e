// What every host operation shares: the host allocator with its memory-check
// switch, printing of caught exceptions, and the way from a host instance to
// its slot and camera.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <exception>

#include "acquisition/HostRecords.h"
#include "acquisition/InstanceTable.h"
#include "device/GxCam.h"

namespace IOeXcite {

// Source name the checked allocator variants are given.
constexpr const char* kMemCheckSource = "CIOeXcite";

// KXAlloc, or KXAllocMemCheck while the host's KTraceMemory is set; `line`
// is the caller's line for the host's bookkeeping.
KErr HostAlloc(KProcHandle proc, size_t size, void** out, int32_t line);
// KXFree, or KXFreeMemCheck while KTraceMemory is set. A null block is not
// passed to the host and gives success.
KErr HostFree(KProcHandle proc, void* block, int32_t line);
// Frees and nulls each non-null buffer; the first failure is returned after
// all were tried.
KErr FreeBuffers(KProcHandle proc, void* (&buffers)[kFrameBuffers], int32_t line);
// Allocates three buffers of `size` bytes; on a failure those taken are freed
// again, every pointer is null and the host's code is returned.
KErr AllocBuffers(KProcHandle proc, size_t size, void* (&buffers)[kFrameBuffers], int32_t line);

// Formats the text with "%s" into the module's message buffer (cut to its
// capacity) and prints it with IOPrintErrorMessage while KDoLowError is set.
void PrintMessage(const char* text);
void PrintException(const std::exception& error);
// For exceptions outside the standard family.
void PrintUnknownException();

// Runs `action` so that no exception leaves it: one it throws is printed and
// swallowed. Answers true when the action completed, false when it threw.
template <class Action>
bool RunOrPrint(Action&& action) {
    try {
        action();
        return true;
    } catch (const std::exception& error) {
        PrintException(error);
    } catch (...) {
        PrintUnknownException();
    }
    return false;
}

// The slot the host bound to `instance` at ReserveSlot, or null when the
// pointer is null or not one of the table's slots.
InstanceSlot* SlotOf(HostInstance* instance);
// The slot of an open instance (device record and camera present), or null.
InstanceSlot* OpenSlotOf(HostInstance* instance);
XCamera::CGxCamera& CameraOf(const InstanceSlot& slot);
// Closes `device` if it is open and destroys it, whatever state it is in;
// failures on the way are ignored. A null device is left alone.
void DiscardDevice(XCamera::IDevice* device);

// Bytes per pixel for the bits per channel open accepts: 1 for 8, else 2.
int32_t BytesPerPixel(int32_t bitsPerChannel);
// Width × height × bytes per pixel × channels of the instance's image part;
// 0 when any factor is not positive or the product does not fit in int32.
int32_t ImageBytes(const HostInstance& instance);

// Makes the slot's three frame buffers hold at least the instance's image
// part: when they are smaller they are freed and allocated anew, in the
// device record or in the slot, whichever owns them. Nothing is queued on
// them when this is called.
KErr EnsureFrameBuffers(KProcHandle proc, HostInstance& instance, InstanceSlot& slot);

} // namespace IOeXcite
