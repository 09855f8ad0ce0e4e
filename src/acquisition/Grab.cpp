// Grabbing: synchronous and asynchronous grabs over the ring of three frame
// buffers, delivered as copied or volatile host images.
#include "acquisition/Grab.h"

#include <string.h>

#include <chrono>
#include <cmath>

#include "acquisition/HostCalls.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"
#include "nodeapi/Exceptions.h"

namespace IOeXcite {

namespace {

// A drain ends with the flushed answer; this bounds it against a stream that
// keeps answering "timed out".
constexpr int kMaxDrainRounds = 64;

// A monotonic clock: an acquisition's age must not jump when the wall clock
// is set.
AcquisitionTime Now() {
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    AcquisitionTime t;
    t.seconds = ms / 1000;
    t.milliseconds = static_cast<uint16_t>(ms % 1000);
    return t;
}

int64_t ElapsedMs(const AcquisitionTime& since) {
    const AcquisitionTime now = Now();
    return (now.seconds - since.seconds) * 1000 +
           (static_cast<int64_t>(now.milliseconds) - static_cast<int64_t>(since.milliseconds));
}

// The double plus one half, cut toward zero and kept inside int32.
int32_t DelayMs(double maxDelay) {
    const double value = maxDelay + 0.5;
    if (!(value > -2147483648.0))
        return value != value ? 0 : INT32_MIN;
    if (value >= 2147483647.0)
        return INT32_MAX;
    return static_cast<int32_t>(value);
}

// Queues the current buffer and, unless grabbing continuously, takes a shot.
void StartAcquisition(const HostInstance& instance, InstanceSlot& slot) {
    XCamera::CGxCamera& camera = CameraOf(slot);
    const int32_t size = ImageBytes(instance);
    void* buffer = slot.frameBuffers[slot.currentBuffer];
    if (size <= 0 || size > slot.bufferCapacity || buffer == nullptr)
        NODEAPI_RAISE_AT(LogicalErrorException, "acquisition/Grab", __LINE__,
                         "the frame buffers do not hold the image part (%d bytes)", size);
    // The context is a value the stream hands back unread; the text's
    // address stands for it.
    camera.QueueBuffer(static_cast<uint32_t>(size), buffer,
                       static_cast<uint32_t>(reinterpret_cast<uintptr_t>(kBufferContextText)));
    if (!slot.continuous)
        camera.OneShot->SetValue(true);
}

KErr WaitGuarded(HostInstance& instance, InstanceSlot& slot, int32_t* bufferIndex) {
    XCamera::CGxCamera& camera = CameraOf(slot);
    if (!slot.acquisitionActive) {
        StartAcquisition(instance, slot);
    } else if (instance.asyncGrab == 0) {
        DrainStream(slot);
        slot.acquisitionActive = false;
        StartAcquisition(instance, slot);
    } else if (ElapsedMs(slot.acquisitionStart) > slot.maxDelay && !camera.OneShot->GetValue()) {
        // The age is checked first: a young acquisition needs no register
        // read to be kept.
        // Too old: the buffer of the running acquisition is queued again.
        DrainStream(slot);
        StartAcquisition(instance, slot);
    }
    slot.acquisitionActive = true;

    void* buffer = nullptr;
    uint32_t context = 0;
    const uint32_t timeout = slot.grabTimeout > 0 ? static_cast<uint32_t>(slot.grabTimeout) : 0;
    switch (camera.RetrieveBuffer(&buffer, &context, timeout)) {
    case XCamera::RetrieveFilled:
        break;
    case XCamera::RetrieveTimedOut:
    case XCamera::RetrieveIncomplete:
        return K_ERR_GRAB_FAILED;
    default:
        // Flushed, or a result the stream does not define: nothing was
        // grabbed, so no image is handed out.
        slot.acquisitionActive = false;
        return K_ERR_GRAB_OTHER;
    }
    slot.acquisitionActive = false;

    *bufferIndex = slot.currentBuffer;
    slot.currentBuffer = (slot.currentBuffer + 1) % kFrameBuffers;

    if (instance.asyncGrab != 0 && slot.startAfterGrab) {
        StartAcquisition(instance, slot);
        slot.acquisitionStart = Now();
        slot.acquisitionActive = true;
    }
    return K_OK;
}

} // namespace

void DrainStream(InstanceSlot& slot) {
    XCamera::CGxCamera& camera = CameraOf(slot);
    for (int round = 0; round < kMaxDrainRounds; ++round) {
        camera.CancelGrab();
        const XCamera::ERetrieveResult result = camera.RetrieveBuffer(nullptr, nullptr, 0);
        if (result != XCamera::RetrieveFilled && result != XCamera::RetrieveTimedOut)
            return;
    }
}

KErr WaitForImage(KProcHandle /*proc*/, HostInstance* instance, int32_t* bufferIndex) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr || bufferIndex == nullptr)
        return K_ERR_NO_INSTANCE;
    KErr rc = K_OK;
    if (RunOrPrint([&] { rc = WaitGuarded(*instance, *slot, bufferIndex); }))
        return rc;
    // Whatever was queued is taken back, so the next grab starts clean.
    try {
        DrainStream(*slot);
    } catch (...) {
    }
    slot->acquisitionActive = false;
    return K_ERR_GRAB_OTHER;
}

KErr GrabImage(KProcHandle proc, HostInstance* instance, HostImage* images, int32_t* count) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr)
        return K_ERR_NO_INSTANCE;
    if (images == nullptr || count == nullptr)
        return K_ERR_NULL_POINTER;
    int32_t index = 0;
    KErr rc = WaitForImage(proc, instance, &index);
    if (rc != K_OK)
        return rc;

    const int32_t bits = instance->params.bitsPerChannel;
    const int32_t kind = bits == 8 ? K_PIXEL_BYTE : K_PIXEL_UINT2;
    const int32_t width = instance->params.imageWidth;
    const int32_t height = instance->params.imageHeight;
    void* frame = slot->frameBuffers[index];
    const int32_t bytes = ImageBytes(*instance);
    if (frame == nullptr || bytes <= 0 || bytes > slot->bufferCapacity)
        return K_ERR_GRAB_OTHER;

    if (slot->volatileMode) {
        rc = KNewImagePtr(proc, images, kind, width, height, frame, 0);
        if (rc != K_OK)
            return rc;
        *count = 1;
    } else {
        int32_t saved = 0;
        rc = KAccessGlVar(proc, K_GLOBAL_64, K_GLOBAL_READ, &saved, 0.0, 0, 0, 0);
        if (rc != K_OK)
            return rc;
        rc = KAccessGlVar(proc, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr, 0.0, 0, 0, 0);
        if (rc != K_OK)
            return rc;
        *count = 1;
        rc = KNewImage(proc, images, kind, width, height);
        const KErr restored = KAccessGlVar(proc, K_GLOBAL_64, K_GLOBAL_WRITE, nullptr,
                                           static_cast<double>(saved), 0, 0, 0);
        if (rc != K_OK)
            return rc;
        if (restored != K_OK)
            return restored;
        if (images->data == nullptr)
            return K_ERR_OUT_OF_MEMORY;
        memcpy(images->data, frame, static_cast<size_t>(bytes));
        if (bits != 8)
            images->significantBits = static_cast<uint8_t>(bits);
    }
    instance->asyncGrab = 0;
    return K_OK;
}

KErr StartAsyncGrab(KProcHandle /*proc*/, HostInstance* instance, double maxDelay) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr)
        return K_ERR_NO_INSTANCE;
    slot->maxDelay = DelayMs(maxDelay);
    RunOrPrint([&] {
        if (slot->acquisitionActive) {
            DrainStream(*slot);
            slot->acquisitionActive = false;
        }
        StartAcquisition(*instance, *slot);
    });
    slot->acquisitionStart = Now();
    slot->acquisitionActive = true;
    return K_OK;
}

KErr GrabImageAsync(KProcHandle proc, HostInstance* instance, double maxDelay, HostImage* images,
                    int32_t* count) {
    InstanceSlot* slot = OpenSlotOf(instance);
    if (slot == nullptr)
        return K_ERR_NO_INSTANCE;
    slot->maxDelay = DelayMs(maxDelay);
    instance->asyncGrab = 1;
    return GrabImage(proc, instance, images, count);
}

} // namespace IOeXcite
