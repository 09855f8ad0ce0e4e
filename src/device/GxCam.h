// The "GxCam" device class: cameras reached through the transport library,
// registered with the DeviceManager at start-up.
#pragma once

#include "camera/CamT.h"
#include "gxdevice/GxDelegateImpl.h"
#include "xcam/XCamInterface.h"

namespace XCamera {

using CGxDelegate = GxDelegateT<XCamInterface::CXCamInterface>;
// The camera object a "GxCam" IDevice is; callers dynamic_cast to it.
using CGxCamera = CamT<CGxDelegate, XCamInterface::CXCamInterface>;

constexpr const char* kGxCamClassName = "GxCam";

// Result of the start-up registration (true unless the name was taken).
// Referring to it also keeps the registration linked into a program.
bool IsGxCamClassRegistered();

} // namespace XCamera
