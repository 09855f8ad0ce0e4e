// The module's per-instance state: 64 instance slots, the device record of an
// open instance, and the module globals shared by the host operations.
#pragma once

#include <stdint.h>

#include "acquisition/HostRecords.h"

namespace IOeXcite {

constexpr int kMaxInstances = 64;
constexpr int kFrameBuffers = 3;
constexpr int32_t kDefaultGrabTimeoutMs = 500;
constexpr int kMessageBufferSize = 1024;
constexpr int kTextBufferSize = 512;

// Allocated through the host allocator when an instance opens, freed when it
// closes.
struct DeviceRecord {
    char deviceName[1024];             // copy of the host's device text at open
    void* frameBuffers[kFrameBuffers]; // host memory
    int32_t bufferSize;                // bytes per buffer; 0 while not allocated here
    int32_t userCount;                 // 1 while the instance uses these buffers
    int32_t openCount;                 // 1 while open
};

// Whole seconds of the system clock and milliseconds, when an acquisition was
// started for a later asynchronous grab.
struct AcquisitionTime {
    int64_t seconds;
    uint16_t milliseconds;
};

struct InstanceSlot {
    void* camera;               // the camera object while open
    DeviceRecord* deviceRecord; // null: the slot is free
    bool acquisitionActive;     // queued and not yet collected
    int32_t index;              // position 0-63, written by FGInit
    int32_t maxDelay;           // ms, from the last asynchronous grab call
    int32_t currentBuffer;      // 0-2: the buffer the next acquisition uses
    AcquisitionTime acquisitionStart;
    void* frameBuffers[kFrameBuffers]; // the record's buffers, or the slot's own
    bool ownsBuffers;                  // the buffers above belong to the slot
    bool volatileMode;                 // images wrap the frame buffer
    int32_t grabTimeout;               // ms
    bool continuous;                   // continuous grabbing enabled
    bool startAfterTimeout;            // "start_async_after_timeout"
    bool startAfterGrab;               // "start_async_after_grab_async"
    int32_t bufferCapacity;            // bytes each of the three frame buffers holds
};

struct InstanceTable {
    InstanceSlot slots[kMaxInstances];
};

// Module globals, all zero at load. The host must not run two operations of
// the module at once: nothing here is guarded.
extern InstanceTable g_instances;
extern InterfaceClass* g_interfaceClass;
extern int32_t g_openInstances;
extern char g_messageBuffer[kMessageBufferSize];
extern char g_textBuffer[kTextBufferSize];

} // namespace IOeXcite
