// DeviceInfo: the record describing one enumerated device, copied by value.
#pragma once

#include <list>
#include <map>
#include <string>

#include "device/PropertySet.h"

namespace XCamera {

struct DeviceInfo {
    // Empty for "GxCam" devices.
    PropertySet Properties;
    // Empty for "GxCam" devices.
    std::map<std::string, DeviceInfo> SubDevices;
    // For "GxCam": the device's first transport text; what GxOpen is given
    // and what the host sees and matches as the device name.
    std::string Name;
    // For "GxCam": the device's second transport text.
    std::string Description;
    // The class that produced the record ("GxCam").
    std::string DeviceClass;
};

// Enumeration result, in the order the class reported the devices.
using DeviceInfoList = std::list<DeviceInfo>;

} // namespace XCamera
