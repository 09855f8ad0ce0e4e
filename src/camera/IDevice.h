// IDevice and DeviceImpl: the device face of a camera object (open, close,
// device record).
#pragma once

#include "device/DeviceInfo.h"

namespace XCamera {

class IDevice {
public:
    virtual ~IDevice() = default;
    // Opens the device; does nothing when it is open already.
    virtual void Open() = 0;
    virtual bool IsOpen() = 0;
    // Finishes a prepared grab, then closes; does nothing when closed.
    virtual void Close() = 0;
    // The record the device was created from.
    virtual const DeviceInfo& GetDeviceInfo() const = 0;
};

// Holds a copy of the record the device was created from.
class DeviceImpl : public IDevice {
public:
    explicit DeviceImpl(const DeviceInfo& info) : m_DeviceInfo(info) {}
    const DeviceInfo& GetDeviceInfo() const override { return m_DeviceInfo; }

private:
    const DeviceInfo m_DeviceInfo;
};

} // namespace XCamera
