// OpenInstance and CloseInstance: find and open the camera, set its pixel
// format, image part and trigger, hold three frame buffers and a prepared
// data stream while the instance is open.
#include "acquisition/OpenClose.h"

#include <stdio.h>
#include <string.h>
#include <strings.h>

#include <string>

#include "acquisition/HostCalls.h"
#include "acquisition/Operations.h"
#include "contracts/Korlan.h"
#include "device/DeviceManager.h"

namespace IOeXcite {

namespace {

using XCamera::CGxCamera;

int32_t Clamp(NodeApi::IInteger& feature, int32_t value, bool zeroStays) {
    const int64_t minimum = feature.GetMin();
    const int64_t maximum = feature.GetMax();
    if (value == 0)
        return zeroStays ? 0 : static_cast<int32_t>(maximum);
    if (value < minimum)
        return static_cast<int32_t>(minimum);
    if (value > maximum)
        return static_cast<int32_t>(maximum);
    return value;
}

// ColorCoding entry values for gray and raw data at 8 and at 10 or 12 bits.
int32_t ColorCodingFor(bool bayer, int32_t bits) {
    if (bayer)
        return bits == 8 ? 9 : 10;
    return bits == 8 ? 0 : 5;
}

// The ColorCoding entry of those values.
const char* CodingName(int32_t coding) {
    switch (coding) {
    case 0:
        return "Mono8";
    case 5:
        return "Mono16";
    case 9:
        return "Raw8";
    default:
        return "Raw16";
    }
}

// The device name up to its first ':', at most 511 characters.
std::string NamePart(const std::string& name) {
    std::string part = name.substr(0, name.find(':'));
    if (part.size() > 511)
        part.resize(511);
    return part;
}

// Steps 6 to 15 of an open, after the record is taken: everything that talks
// to the camera. Camera-layer exceptions leave here; `camera` then holds the
// camera created so far so the caller can discard it.
KErr OpenCamera(KProcHandle proc, HostInstance& instance, InstanceSlot& slot, bool bayer,
                CGxCamera*& camera) {
    HostOpenParameters& p = instance.params;
    XCamera::DeviceManager& manager = XCamera::DeviceManager::Instance();
    XCamera::PropertySet properties;
    properties.Set("PortNumber", "61696");
    const XCamera::DeviceInfoList devices =
        manager.EnumerateDevices(XCamera::kGxCamClassName, &properties);
    if (devices.empty())
        return ReleaseOnFailure(proc, slot, true, K_ERR_NO_DEVICE);

    const std::string wanted(p.device, strnlen(p.device, sizeof p.device));
    if (wanted == "0") {
        XCamera::IDevice* device = manager.CreateDevice(devices.front());
        camera = dynamic_cast<CGxCamera*>(device);
        if (camera == nullptr)
            manager.DestroyDevice(device);
    } else {
        for (const XCamera::DeviceInfo& info : devices) {
            // The camera's name is the record's: only a matching record is
            // worth building a camera object for.
            if (strcasecmp(NamePart(info.Name).c_str(), wanted.c_str()) != 0)
                continue;
            XCamera::IDevice* device = manager.CreateDevice(info);
            camera = dynamic_cast<CGxCamera*>(device);
            if (camera != nullptr &&
                strcasecmp(NamePart(camera->GetDeviceInfo().Name).c_str(), wanted.c_str()) == 0)
                break;
            camera = nullptr;
            manager.DestroyDevice(device);
        }
    }
    if (camera == nullptr)
        return ReleaseOnFailure(proc, slot, true, K_ERR_DEVICE_NOT_FOUND);

    camera->Open();
    if (!camera->IsOpen()) {
        DiscardDevice(camera);
        camera = nullptr;
        return ReleaseOnFailure(proc, slot, true, K_ERR_DEVICE_BUSY);
    }

    // A coding the camera does not offer would leave it sending another
    // layout than the buffers expect: refuse the colour space or the bits.
    const int32_t coding = ColorCodingFor(bayer, p.bitsPerChannel);
    NodeApi::StringList_t offered;
    camera->ColorCoding->GetSymbolics(offered);
    bool found = false;
    for (const std::string& name : offered)
        found |= name == CodingName(coding);
    if (!found) {
        DiscardDevice(camera);
        camera = nullptr;
        return ReleaseOnFailure(proc, slot, true, bayer ? K_ERR_BAD_COLOR_SPACE : K_ERR_BAD_BITS);
    }
    camera->VideoMode->SetIntValue(0);
    camera->ColorCoding->SetIntValue(coding);

    const int32_t height = (p.imageWidth != 0 && p.imageHeight == 0)
                               ? HeightBelowMaximum(*camera)
                               : ClampHeight(*camera, p.imageHeight);
    camera->Height->SetValue(height);
    camera->Width->SetValue(ClampWidth(*camera, p.imageWidth));
    camera->XPosition->SetValue(ClampColumn(*camera, p.startColumn));
    camera->YPosition->SetValue(ClampRow(*camera, p.startRow));
    p.imageWidth = static_cast<int32_t>(camera->Width->GetValue());
    p.imageHeight = static_cast<int32_t>(camera->Height->GetValue());
    p.startRow = static_cast<int32_t>(camera->YPosition->GetValue());
    p.startColumn = static_cast<int32_t>(camera->XPosition->GetValue());

    camera->Shutter->SetValue(camera->Shutter->GetValue());

    if (p.externalTrigger != 0) {
        if (camera->TriggerSource->GetIntValue() == 7)
            camera->TriggerSource->SetIntValue(0);
        camera->TriggerEnable->SetValue(true);
    } else {
        camera->TriggerEnable->SetValue(false);
    }

    instance.fullWidth = static_cast<int32_t>(camera->Width->GetMax());
    instance.fullHeight = static_cast<int32_t>(camera->Height->GetMax());

    DeviceRecord& record = *slot.deviceRecord;
    const int32_t size = ImageBytes(instance);
    if (size <= 0) {
        DiscardDevice(camera);
        camera = nullptr;
        return ReleaseOnFailure(proc, slot, true, K_ERR_BAD_SIZE);
    }
    const KErr rc = AllocBuffers(proc, static_cast<size_t>(size), record.frameBuffers, __LINE__);
    if (rc != K_OK) {
        DiscardDevice(camera);
        camera = nullptr;
        return ReleaseOnFailure(proc, slot, true, rc);
    }
    record.bufferSize = size;
    for (int i = 0; i < kFrameBuffers; ++i)
        slot.frameBuffers[i] = record.frameBuffers[i];
    slot.bufferCapacity = size;
    record.userCount = 1;
    slot.camera = camera;

    slot.currentBuffer = 0;
    camera->PrepareGrab();
    record.openCount = 1;
    ++g_openInstances;
    return K_OK;
}

} // namespace

int32_t ClampWidth(CGxCamera& camera, int32_t value) {
    return Clamp(*camera.Width, value, false);
}
int32_t ClampHeight(CGxCamera& camera, int32_t value) {
    return Clamp(*camera.Height, value, false);
}
int32_t HeightBelowMaximum(CGxCamera& camera) {
    const int64_t step = camera.Height->GetInc();
    return static_cast<int32_t>(camera.Height->GetMax() - (step > 1 ? step : 1));
}

int32_t ClampColumn(CGxCamera& camera, int32_t value) {
    return Clamp(*camera.XPosition, value, true);
}
int32_t ClampRow(CGxCamera& camera, int32_t value) {
    return Clamp(*camera.YPosition, value, true);
}

KErr ReleaseOnFailure(KProcHandle proc, InstanceSlot& slot, bool freeRecord, KErr code) {
    DeviceRecord* record = slot.deviceRecord;
    if (slot.ownsBuffers) {
        FreeBuffers(proc, slot.frameBuffers, __LINE__);
    } else if (record != nullptr && record->userCount == 0) {
        FreeBuffers(proc, record->frameBuffers, __LINE__);
    }
    if (!slot.ownsBuffers)
        for (void*& buffer : slot.frameBuffers)
            buffer = nullptr;
    slot.bufferCapacity = 0;
    if (freeRecord && record != nullptr)
        HostFree(proc, record, __LINE__);
    slot.deviceRecord = nullptr;
    slot.camera = nullptr;
    return code;
}

KErr OpenInstance(KProcHandle proc, HostInstance* instance) {
    InstanceSlot* found = SlotOf(instance);
    if (found == nullptr)
        return K_ERR_NULL_POINTER;
    InstanceSlot& slot = *found;
    if (slot.deviceRecord != nullptr)
        return K_ERR_DEVICE_BUSY; // this slot is open already
    HostOpenParameters& p = instance->params;

    instance->asyncGrab = 0;
    slot.acquisitionActive = false;
    slot.ownsBuffers = false;
    slot.currentBuffer = 0;
    slot.volatileMode = false;
    slot.grabTimeout = kDefaultGrabTimeoutMs;
    slot.continuous = false;
    slot.startAfterTimeout = false;
    slot.startAfterGrab = true;
    slot.camera = nullptr;
    slot.bufferCapacity = 0;
    for (void*& buffer : slot.frameBuffers)
        buffer = nullptr;

    if (p.bitsPerChannel != 8 && p.bitsPerChannel != 10 && p.bitsPerChannel != 12)
        return K_ERR_BAD_BITS;
    // The host's texts are fixed-size fields: never read past them.
    p.colorSpace[sizeof p.colorSpace - 1] = '\0';
    p.device[sizeof p.device - 1] = '\0';
    const bool bayer = strcasecmp(p.colorSpace, "bayer") == 0;
    if (!bayer && strcasecmp(p.colorSpace, "gray") != 0)
        return K_ERR_BAD_COLOR_SPACE;
    instance->channels = 1;

    for (const InstanceSlot& other : g_instances.slots)
        if (&other != &slot && other.deviceRecord != nullptr &&
            strcasecmp(other.deviceRecord->deviceName, p.device) == 0)
            return K_ERR_DEVICE_BUSY;

    void* block = nullptr;
    KErr rc = HostAlloc(proc, sizeof(DeviceRecord), &block, __LINE__);
    if (rc != K_OK)
        return rc;
    if (block == nullptr)
        return K_ERR_OUT_OF_MEMORY;
    DeviceRecord* record = static_cast<DeviceRecord*>(block);
    memset(record, 0, sizeof *record);
    snprintf(record->deviceName, sizeof record->deviceName, "%s", p.device);
    slot.deviceRecord = record;

    // No exception reaches the host: a camera-layer failure is printed, the
    // camera and everything taken are released and the slot stays free.
    XCamera::CGxCamera* camera = nullptr;
    if (RunOrPrint([&] { rc = OpenCamera(proc, *instance, slot, bayer, camera); }))
        return rc;
    DiscardDevice(camera);
    if (slot.deviceRecord != nullptr) {
        slot.deviceRecord->userCount = 0;
        ReleaseOnFailure(proc, slot, true, K_ERR_DEVICE_BUSY);
    }
    return K_ERR_DEVICE_BUSY;
}

KErr CloseInstance(KProcHandle proc, HostInstance* instance) {
    InstanceSlot* found = OpenSlotOf(instance);
    if (found == nullptr)
        return K_ERR_NO_INSTANCE;
    InstanceSlot& slot = *found;
    DeviceRecord& record = *slot.deviceRecord;
    CGxCamera& camera = CameraOf(slot);
    slot.acquisitionActive = false;

    // The stream is finished before the buffers go, so the transport never
    // writes into freed memory.
    RunOrPrint([&] { camera.FinishGrab(); });
    RunOrPrint([&] { camera.Close(); });

    KErr rc = K_OK;
    if (slot.ownsBuffers) {
        rc = FreeBuffers(proc, slot.frameBuffers, __LINE__);
    } else {
        if (record.userCount == 1) {
            rc = FreeBuffers(proc, record.frameBuffers, __LINE__);
            record.bufferSize = 0;
        }
        for (void*& buffer : slot.frameBuffers)
            buffer = nullptr;
    }
    record.userCount = 0;
    slot.bufferCapacity = 0;

    RunOrPrint([&] { XCamera::DeviceManager::Instance().DestroyDevice(&camera); });
    slot.camera = nullptr;
    const KErr freed = HostFree(proc, &record, __LINE__);
    if (rc == K_OK)
        rc = freed;
    slot.deviceRecord = nullptr;
    if (g_openInstances > 0)
        --g_openInstances;
    return rc;
}

} // namespace IOeXcite
