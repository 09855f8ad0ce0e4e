// CamT: the camera object, offering the device face, the data stream face and
// the typed camera interface over one owned transport delegate.
#pragma once

#include <memory>

#include "camera/IDevice.h"
#include "camera/IInDataStream.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"

namespace XCamera {

// D is the transport delegate (a TliDelegateBaseT<T>), T the typed camera
// interface, whose node map is built over the delegate's two ports.
// Created and destroyed only through the DeviceManager.
template <class D, class T>
class CamT : public DeviceImpl, public IInDataStream, public T {
public:
    // Copies the record, builds the typed interface over the delegate's
    // camera and grabber ports, then takes the delegate and points it at the
    // typed interface. If building raises, the delegate is deleted with the
    // argument.
    CamT(const DeviceInfo& info, std::unique_ptr<D> delegate)
        : DeviceImpl(info), T(CameraPortOf(delegate), GrabberPortOf(delegate)),
          m_pDelegate(std::move(delegate)) {
        m_pDelegate->SetApi(this);
    }
    // The delegate goes first (it closes an open device, swallowing errors),
    // then the typed interface with its node map, then the record.
    ~CamT() override { m_pDelegate.reset(); }

    CamT(const CamT&) = delete;
    CamT& operator=(const CamT&) = delete;

    // IDevice.
    void Open() override { m_pDelegate->Open(GetDeviceInfo()); }
    bool IsOpen() override { return m_pDelegate->IsOpen(); }
    void Close() override { m_pDelegate->Close(); }

    // IInDataStream.
    void PrepareGrab() override { m_pDelegate->PrepareGrab(); }
    bool IsPrepared() override { return m_pDelegate->IsPrepared(); }
    void QueueBuffer(uint32_t size, void* buffer, uint32_t context) override {
        m_pDelegate->QueueBuffer(size, buffer, context);
    }
    void CancelGrab() override { m_pDelegate->CancelGrab(); }
    ERetrieveResult RetrieveBuffer(void** buffer, uint32_t* context, uint32_t timeoutMs) override {
        return m_pDelegate->RetrieveBuffer(buffer, context, timeoutMs);
    }
    void FinishGrab() override { m_pDelegate->FinishGrab(); }

    D& GetDelegate() const { return *m_pDelegate; }

private:
    static NodeApi::IPort* CameraPortOf(const std::unique_ptr<D>& delegate) {
        if (!delegate)
            NODEAPI_RAISE(InvalidArgumentException, "No transport delegate");
        return delegate->GetCameraPort();
    }
    static NodeApi::IPort* GrabberPortOf(const std::unique_ptr<D>& delegate) {
        if (!delegate)
            NODEAPI_RAISE(InvalidArgumentException, "No transport delegate");
        return delegate->GetGrabberPort();
    }

    std::unique_ptr<D> m_pDelegate;
};

} // namespace XCamera
