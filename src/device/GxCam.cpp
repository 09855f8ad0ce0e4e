// The "GxCam" device class and its registration at start-up.
#include "device/GxCam.h"

#include <memory>

#include "device/DeviceManager.h"
#include "gxdevice/Gx.h"

namespace XCamera {

namespace {

IDevice* CreateGxCam(const DeviceInfo& info) {
    return new CGxCamera(info, std::make_unique<CGxDelegate>());
}

void DestroyGxCam(IDevice* device) {
    delete device;
}

const bool g_GxCamRegistered = DeviceManager::Instance().RegisterDeviceClass(
    kGxCamClassName, &CreateGxCam, &EnumerateServers, &DestroyGxCam);

} // namespace

bool IsGxCamClassRegistered() {
    return g_GxCamRegistered;
}

} // namespace XCamera
