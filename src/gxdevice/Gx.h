// Transport functions of the device layer: start-up, status texts and the
// enumeration of the "GxCam" device class.
#pragma once

#include <cstdint>
#include <string>

#include "device/DeviceInfo.h"
#include "device/PropertySet.h"

namespace XCamera {

// Starts the transport (GxInit); DeviceIoException from gxdevice/Gx:23.
void InitTransport();

// The transport's text for status. A text the transport cannot give becomes
// "<Fatal error while retrieving GX status message (0x%08x)>"; no text at
// all becomes "<NULL>". Never raises.
std::string GetStatusText(uint32_t status);

// Lists the cameras the transport finds, in the order it reports them, each
// as a "GxCam" record. The server port is the set's "PortNumber", else
// "61696". Transport start-up failures raise DeviceIoException.
void EnumerateServers(DeviceInfoList& list, const PropertySet* properties);

// The default transport server port text.
constexpr const char* kDefaultPortNumber = "61696";

} // namespace XCamera
