// A network camera opened through the device layer.
#include "NetworkCamera.h"

#include <stdio.h>
#include <strings.h>

#include <exception>
#include <stdexcept>

#include "device/DeviceManager.h"

namespace KacqTool {

NetworkCamera::NetworkCamera(const std::string& device, const std::string& port) {
    XCamera::DeviceManager& manager = XCamera::DeviceManager::Instance();
    if (!XCamera::IsGxCamClassRegistered())
        throw std::runtime_error("the GxCam device class is not registered");
    XCamera::PropertySet properties;
    properties.Set("PortNumber", port);
    for (const XCamera::DeviceInfo& info :
         manager.EnumerateDevices(XCamera::kGxCamClassName, &properties)) {
        const std::string address = info.Name.substr(0, info.Name.find(':'));
        if (device != "0" && strcasecmp(address.c_str(), device.c_str()) != 0)
            continue;
        m_pDevice = manager.CreateDevice(info);
        m_pCamera = dynamic_cast<XCamera::CGxCamera*>(m_pDevice);
        m_Name = info.Name;
        break;
    }
    if (m_pDevice == nullptr)
        throw std::runtime_error("no camera '" + device + "' found at port " + port);
    try {
        if (m_pCamera == nullptr)
            throw std::runtime_error("'" + m_Name + "' is no eXcite camera");
        m_pCamera->Open();
        if (!m_pCamera->IsOpen())
            throw std::runtime_error("'" + m_Name + "' is busy");
    } catch (...) {
        XCamera::DeviceManager::Instance().DestroyDevice(m_pDevice);
        throw;
    }
}

NetworkCamera::~NetworkCamera() {
    try {
        m_pCamera->Close();
    } catch (const std::exception& e) {
        fprintf(stderr, "kacq: closing the camera: %s\n", e.what());
    }
    try {
        XCamera::DeviceManager::Instance().DestroyDevice(m_pDevice);
    } catch (const std::exception& e) {
        fprintf(stderr, "kacq: %s\n", e.what());
    }
}

} // namespace KacqTool
