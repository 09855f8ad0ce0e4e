// TliPortBase: the grabber-side register port, served from the delegate's state.
#pragma once

#include <cinttypes>
#include <cstdint>

#include "camera/PortNodeImpl.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"
#include "nodeapi/RegisterSetHelper.h"

namespace XCameraPrivate {

// The grabber register space holds one read-only byte at address 1: 1 while
// the delegate is not prepared for grabbing, 0 while it is. D provides
// `bool IsOpen()` and `bool IsPrepared()`; the delegate is not owned and is
// set by the delegate's constructor to itself.
template <class D>
class TliPortBase : public PortNodeImpl<TliPortBase<D>>, public NodeApi::IPort {
public:
    explicit TliPortBase(D* delegate = nullptr) : m_pDelegate(delegate) {}

    void SetDelegate(D* delegate) { m_pDelegate = delegate; }

    virtual bool IsDeviceOpen() { return m_pDelegate != nullptr && m_pDelegate->IsOpen(); }

    virtual void ReadUnimplemented(void* /*buffer*/, int64_t address, int64_t /*length*/) {
        NODEAPI_RAISE_AT(RuntimeException, kSource, 107,
                         "Failed to access non-implemented register 0x%016" PRIx64,
                         static_cast<uint64_t>(address));
    }

    virtual void WriteUnimplemented(const void* /*buffer*/, int64_t address, int64_t /*length*/) {
        NODEAPI_RAISE_AT(RuntimeException, kSource, 115,
                         "Failed to access non-implemented register 0x%016" PRIx64,
                         static_cast<uint64_t>(address));
    }

    void Read(void* buffer, int64_t address, int64_t length) override {
        if (address != kIsNotGrabbingAddress) {
            ReadUnimplemented(buffer, address, length);
            return;
        }
        const bool prepared = m_pDelegate != nullptr && m_pDelegate->IsPrepared();
        const uint8_t value = prepared ? 0 : 1;
        NodeApi::CopyData(buffer, length, &value, 1);
    }

    void Write(const void* buffer, int64_t address, int64_t length) override {
        if (address != kIsNotGrabbingAddress) {
            WriteUnimplemented(buffer, address, length);
            return;
        }
        NODEAPI_RAISE_AT(RuntimeException, kSource, 89,
                         "Failed to write read-only register 0x%016" PRIx64,
                         static_cast<uint64_t>(address));
    }

private:
    static constexpr const char* kSource = "camera/TliPortBase";
    static constexpr int64_t kIsNotGrabbingAddress = 1;

    D* m_pDelegate;
};

} // namespace XCameraPrivate
