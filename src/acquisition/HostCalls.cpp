// Host allocator, message printing and slot look-up shared by the operations.
#include "acquisition/HostCalls.h"

#include <stdio.h>
#include <string.h>

#include <limits>

#include "contracts/Korlan.h"
#include "device/DeviceManager.h"

namespace IOeXcite {

KErr HostAlloc(KProcHandle proc, size_t size, void** out, int32_t line) {
    if (KTraceMemory != 0)
        return KXAllocMemCheck(proc, size, kMemCheckSource, line, K_MEMCHECK_KIND, out);
    return KXAlloc(proc, size, out);
}

KErr HostFree(KProcHandle proc, void* block, int32_t line) {
    if (block == nullptr)
        return K_OK;
    if (KTraceMemory != 0)
        return KXFreeMemCheck(proc, block, kMemCheckSource, line);
    return KXFree(proc, block);
}

KErr FreeBuffers(KProcHandle proc, void* (&buffers)[kFrameBuffers], int32_t line) {
    KErr result = K_OK;
    for (void*& buffer : buffers) {
        const KErr rc = HostFree(proc, buffer, line);
        buffer = nullptr;
        if (rc != K_OK && result == K_OK)
            result = rc;
    }
    return result;
}

KErr AllocBuffers(KProcHandle proc, size_t size, void* (&buffers)[kFrameBuffers], int32_t line) {
    for (void*& buffer : buffers)
        buffer = nullptr;
    for (void*& buffer : buffers) {
        void* block = nullptr;
        const KErr rc = HostAlloc(proc, size, &block, line);
        if (rc != K_OK || block == nullptr) {
            FreeBuffers(proc, buffers, line);
            return rc != K_OK ? rc : K_ERR_OUT_OF_MEMORY;
        }
        buffer = block;
    }
    return K_OK;
}

void PrintMessage(const char* text) {
    snprintf(g_messageBuffer, sizeof g_messageBuffer, "%s", text != nullptr ? text : "");
    if (KDoLowError != 0)
        IOPrintErrorMessage(g_messageBuffer);
}

void PrintException(const std::exception& error) {
    PrintMessage(error.what());
}

void PrintUnknownException() {
    PrintMessage("unexpected failure in the camera layer");
}

void DiscardDevice(XCamera::IDevice* device) {
    if (device == nullptr)
        return;
    try {
        if (device->IsOpen())
            device->Close();
    } catch (...) {
    }
    try {
        XCamera::DeviceManager::Instance().DestroyDevice(device);
    } catch (...) {
    }
}

InstanceSlot* SlotOf(HostInstance* instance) {
    if (instance == nullptr || instance->slot == nullptr)
        return nullptr;
    for (InstanceSlot& slot : g_instances.slots)
        if (&slot == instance->slot)
            return &slot;
    return nullptr;
}

InstanceSlot* OpenSlotOf(HostInstance* instance) {
    InstanceSlot* slot = SlotOf(instance);
    if (slot == nullptr || slot->deviceRecord == nullptr || slot->camera == nullptr)
        return nullptr;
    return slot;
}

XCamera::CGxCamera& CameraOf(const InstanceSlot& slot) {
    return *static_cast<XCamera::CGxCamera*>(slot.camera);
}

int32_t BytesPerPixel(int32_t bitsPerChannel) {
    return bitsPerChannel == 8 ? 1 : 2;
}

int32_t ImageBytes(const HostInstance& instance) {
    const int64_t width = instance.params.imageWidth;
    const int64_t height = instance.params.imageHeight;
    const int64_t channels = instance.channels;
    if (width <= 0 || height <= 0 || channels <= 0)
        return 0;
    const int64_t bytes = width * height * BytesPerPixel(instance.params.bitsPerChannel) * channels;
    if (bytes > std::numeric_limits<int32_t>::max())
        return 0;
    return static_cast<int32_t>(bytes);
}

KErr EnsureFrameBuffers(KProcHandle proc, HostInstance& instance, InstanceSlot& slot) {
    const int32_t needed = ImageBytes(instance);
    if (needed <= slot.bufferCapacity)
        return K_OK;
    DeviceRecord& record = *slot.deviceRecord;
    // The buffers live in exactly one place: the slot's own, or the record's
    // (whose pointers the slot copies).
    KErr rc = K_OK;
    if (slot.ownsBuffers) {
        rc = FreeBuffers(proc, slot.frameBuffers, __LINE__);
    } else {
        rc = FreeBuffers(proc, record.frameBuffers, __LINE__);
        record.bufferSize = 0;
    }
    for (void*& buffer : slot.frameBuffers)
        buffer = nullptr;
    slot.bufferCapacity = 0;
    if (rc != K_OK)
        return rc;
    void* fresh[kFrameBuffers] = {};
    rc = AllocBuffers(proc, static_cast<size_t>(needed), fresh, __LINE__);
    if (rc != K_OK)
        return rc;
    for (int i = 0; i < kFrameBuffers; ++i) {
        slot.frameBuffers[i] = fresh[i];
        if (!slot.ownsBuffers)
            record.frameBuffers[i] = fresh[i];
    }
    if (!slot.ownsBuffers)
        record.bufferSize = needed;
    slot.bufferCapacity = needed;
    return K_OK;
}

} // namespace IOeXcite
