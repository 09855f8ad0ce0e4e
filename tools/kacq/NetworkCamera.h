// NetworkCamera: one camera on the network as a camera object of the device
// layer, found through the "GxCam" class, opened, and closed and destroyed
// with this object. kacq's --device commands and kacq view work on it.
#pragma once

#include <string>

#include "device/GxCam.h"

namespace KacqTool {

class NetworkCamera {
public:
    // device: the camera's address ("0": the first camera found); port: the
    // transport's server port. std::runtime_error when none matches, and
    // what opening raises.
    NetworkCamera(const std::string& device, const std::string& port);
    ~NetworkCamera();
    NetworkCamera(const NetworkCamera&) = delete;
    NetworkCamera& operator=(const NetworkCamera&) = delete;

    XCamera::CGxCamera& Camera() { return *m_pCamera; }
    const std::string& Name() const { return m_Name; }

private:
    XCamera::IDevice* m_pDevice = nullptr;
    XCamera::CGxCamera* m_pCamera = nullptr;
    std::string m_Name;
};

} // namespace KacqTool
