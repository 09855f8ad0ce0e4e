// DeviceManager: class registry and created-device table.
#include "device/DeviceManager.h"

#include "nodeapi/Exceptions.h"

namespace XCamera {

namespace {
constexpr const char* kSource = "device/DeviceManager";
}

DeviceManager& DeviceManager::Instance() {
    // Deliberately never destroyed (see the class comment).
    static DeviceManager* instance = new DeviceManager();
    return *instance;
}

bool DeviceManager::RegisterDeviceClass(const std::string& name, CreateFunction create,
                                        EnumerateFunction enumerate, DestroyFunction destroy) {
    return m_Classes.emplace(name, DeviceClass{create, enumerate, destroy}).second;
}

DeviceInfoList DeviceManager::EnumerateDevices(const std::string& deviceClass,
                                               const PropertySet* properties) {
    auto it = m_Classes.find(deviceClass);
    if (it == m_Classes.end() || it->second.Enumerate == nullptr)
        NODEAPI_RAISE_AT(RuntimeException, kSource, 57, "Unknown device type: '%s'",
                         deviceClass.c_str());
    DeviceInfoList list;
    it->second.Enumerate(list, properties);
    return list;
}

IDevice* DeviceManager::CreateDevice(const DeviceInfo& info) {
    auto it = m_Classes.find(info.DeviceClass);
    if (it == m_Classes.end() || it->second.Create == nullptr)
        NODEAPI_RAISE_AT(RuntimeException, kSource, 35, "Unknown device type: '%s'",
                         info.DeviceClass.c_str());
    IDevice* device = it->second.Create(info);
    if (device == nullptr)
        return nullptr;
    try {
        m_Created.emplace(device, it->second.Destroy);
    } catch (...) {
        if (it->second.Destroy != nullptr)
            it->second.Destroy(device);
        throw;
    }
    return device;
}

void DeviceManager::DestroyDevice(IDevice* device) {
    auto it = m_Created.find(device);
    if (it == m_Created.end())
        NODEAPI_RAISE_AT(RuntimeException, kSource, 43, "Unknown device");
    DestroyFunction destroy = it->second;
    // Unlisted first: a destroy function that raises must not leave a
    // dangling entry behind.
    m_Created.erase(it);
    if (destroy != nullptr)
        destroy(device);
}

} // namespace XCamera
