// ViewCamera: the one camera object kacq view works on, found through the
// device layer's "GxCam" class, opened, and closed and destroyed with this
// object.
#pragma once

#include <string>

#include "device/GxCam.h"

namespace KacqView {

class ViewCamera {
public:
    // device: the camera's address ("0": the first camera found); port: the
    // transport's server port. std::runtime_error when none matches, and
    // what opening raises.
    ViewCamera(const std::string& device, const std::string& port);
    ~ViewCamera();
    ViewCamera(const ViewCamera&) = delete;
    ViewCamera& operator=(const ViewCamera&) = delete;

    XCamera::CGxCamera& Camera() { return *m_pCamera; }
    const std::string& Name() const { return m_Name; }

private:
    XCamera::IDevice* m_pDevice = nullptr;
    XCamera::CGxCamera* m_pCamera = nullptr;
    std::string m_Name;
};

} // namespace KacqView
