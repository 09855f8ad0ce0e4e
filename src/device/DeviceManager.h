// DeviceManager: the process-wide registry of device classes and of the
// devices created from them.
#pragma once

#include <map>
#include <string>

#include "camera/IDevice.h"
#include "device/DeviceInfo.h"
#include "device/PropertySet.h"

namespace XCamera {

using CreateFunction = IDevice* (*)(const DeviceInfo& info);
using EnumerateFunction = void (*)(DeviceInfoList& list, const PropertySet* properties);
using DestroyFunction = void (*)(IDevice* device);

// No lock: registration runs during start-up and every later call comes
// from the host, which never enters the module from two threads at once.
//
// The instance is never destroyed: devices still listed at process end are
// neither destroyed nor closed, because a static destructor may run after
// the transport library has gone. Callers destroy what they create.
class DeviceManager {
public:
    static DeviceManager& Instance();

    // True when name was new; a second registration keeps the first entry.
    bool RegisterDeviceClass(const std::string& name, CreateFunction create,
                             EnumerateFunction enumerate, DestroyFunction destroy);
    // The devices the class reports, in its order. RuntimeException
    // "Unknown device type: '%s'" for a class not registered.
    DeviceInfoList EnumerateDevices(const std::string& deviceClass,
                                    const PropertySet* properties = nullptr);
    // Creates a device of the record's class and lists it. RuntimeException
    // "Unknown device type: '%s'" for a class not registered; failures of the
    // class pass through and list nothing.
    IDevice* CreateDevice(const DeviceInfo& info);
    // Destroys a listed device and unlists it; RuntimeException "Unknown
    // device" for one not listed (null, or destroyed already).
    void DestroyDevice(IDevice* device);

    // Number of devices created and not yet destroyed.
    std::size_t CreatedDeviceCount() const { return m_Created.size(); }

private:
    DeviceManager() = default;
    struct DeviceClass {
        CreateFunction Create;
        EnumerateFunction Enumerate;
        DestroyFunction Destroy;
    };
    std::map<std::string, DeviceClass> m_Classes;
    std::map<IDevice*, DestroyFunction> m_Created;
};

} // namespace XCamera
