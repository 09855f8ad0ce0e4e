// GxDelegateT: the transport delegate driving one camera over the transport
// library: the camera register port, the stream grabber, open and close.
#pragma once

#include <cstdint>
#include <set>

#include "camera/PortNodeImpl.h"
#include "camera/TliDelegateBase.h"
#include "camera/TliPortBase.h"
#include "nodeapi/Interfaces.h"

namespace XCamInterface {
class CXCamInterface;
}

namespace XCamera {

// Serves the camera's register space as a big-endian memory image (each
// 32-bit register most significant byte first) and runs the stream grabber
// that fills the caller's buffers. Every failing transport status raises
// DeviceIoException with the transport's text. Defined for
// T = XCamInterface::CXCamInterface only.
template <class T>
class GxDelegateT : public XCameraPrivate::TliDelegateBaseT<T>,
                    public NodeApi::IPort,
                    public XCameraPrivate::PortNodeImpl<GxDelegateT<T>> {
public:
    GxDelegateT();
    // Closes an open device (finishing a prepared grab), swallowing errors.
    ~GxDelegateT() override;

    bool IsOpen() override { return m_DeviceHandle != 0; }
    bool IsDeviceOpen() { return IsOpen(); }
    NodeApi::IPort* GetCameraPort() override { return this; }
    NodeApi::IPort* GetGrabberPort() override { return &m_GrabberPort; }

    void OpenDevice(const DeviceInfo& info) override;
    void CloseDevice() override;
    void OpenStream() override;
    void StreamQueueBuffer(uint32_t size, void* buffer, uint32_t context) override;
    ERetrieveResult StreamWaitForBuffer(void** buffer, uint32_t* context,
                                        uint32_t timeoutMs) override;
    void StreamFlush() override;
    void CloseStream() override;

    // IPort: length in bytes, a multiple of 4, moved in chunks of at most 32
    // quadlets; the upper 32 bits of the address are dropped.
    void Read(void* buffer, int64_t address, int64_t length) override;
    void Write(const void* buffer, int64_t address, int64_t length) override;

    uint32_t GetDeviceHandle() const { return m_DeviceHandle; }
    uint32_t GetGrabberHandle() const { return m_GrabberHandle; }

private:
    uint32_t m_DeviceHandle = 0;
    uint32_t m_GrabberHandle = 0;
    XCameraPrivate::TliPortBase<GxDelegateT<T>> m_GrabberPort;
    // Buffer records handed to the transport and not yet handed back; what
    // the transport hands back is trusted only when it is one of these.
    std::set<void*> m_Outstanding;
};

extern template class GxDelegateT<XCamInterface::CXCamInterface>;

} // namespace XCamera
