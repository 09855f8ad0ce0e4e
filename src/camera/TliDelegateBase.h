// TliDelegateBaseT: the grab-cycle rules above a transport delegate (open
// before use, prepare before grabbing, finish before closing).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "camera/IInDataStream.h"
#include "device/DeviceInfo.h"
#include "nodeapi/Exceptions.h"
#include "nodeapi/Interfaces.h"

namespace XCameraPrivate {

// T is the typed camera interface the delegate reads its stream sizes from;
// it is set by SetApi and not owned. The transport-facing operations are the
// derived delegate's. No lock: one camera object serves one caller at a time.
template <class T>
class TliDelegateBaseT : public XCamera::IInDataStream {
public:
    TliDelegateBaseT() = default;
    virtual ~TliDelegateBaseT() = default;

    TliDelegateBaseT(const TliDelegateBaseT&) = delete;
    TliDelegateBaseT& operator=(const TliDelegateBaseT&) = delete;

    // IInDataStream.
    void PrepareGrab() override {
        if (m_Prepared)
            NODEAPI_RAISE_AT(LogicalErrorException, kSource, 111,
                             "Device is already prepared for grabbing.");
        // No open check: on a closed device the feature reads inside
        // OpenStream fail, as the camera port refuses access then.
        OpenStream();
        m_Prepared = true;
    }
    bool IsPrepared() override { return m_Prepared; }
    void QueueBuffer(uint32_t size, void* buffer, uint32_t context) override {
        CheckOpen();
        CheckPrepared();
        StreamQueueBuffer(size, buffer, context);
    }
    void CancelGrab() override {
        CheckOpen();
        CheckPrepared();
        StreamFlush();
    }
    XCamera::ERetrieveResult RetrieveBuffer(void** buffer, uint32_t* context,
                                            uint32_t timeoutMs) override {
        CheckOpen();
        CheckPrepared();
        return StreamWaitForBuffer(buffer, context, timeoutMs);
    }
    // Flush, drain until the stream reports itself flushed, close the stream.
    // A flush or drain error is kept and raised afterwards as a
    // GenericException with the same description, source and line. Anything
    // else clears the prepared flag and propagates at once.
    void FinishGrab() override {
        CheckOpen();
        CheckPrepared();
        std::optional<NodeApi::GenericException> error;
        try {
            try {
                StreamFlush();
            } catch (const NodeApi::GenericException& e) {
                error.emplace(e);
            }
            try {
                // A transport that never reports the flushed state must not
                // hold the caller forever: the drain is bounded.
                int drained = 0;
                while (RetrieveBuffer(nullptr, nullptr, 0) != XCamera::RetrieveFlushed) {
                    if (++drained >= kMaxDrain)
                        NODEAPI_RAISE_AT(RuntimeException, kSource, 140,
                                         "Stream did not report flushed after %d buffers",
                                         kMaxDrain);
                }
            } catch (const NodeApi::GenericException& e) {
                error.emplace(e);
            }
            CloseStream();
        } catch (...) {
            m_Prepared = false;
            throw;
        }
        m_Prepared = false;
        if (error)
            throw NodeApi::GenericException(error->GetDescription(), error->GetSourceFileName(),
                                            error->GetSourceLine());
    }

    // Opens the device named by info; does nothing when it is open already.
    virtual void Open(const XCamera::DeviceInfo& info) {
        CheckApi();
        if (IsOpen())
            return;
        OpenDevice(info);
    }
    virtual bool IsOpen() = 0;
    // Finishes a prepared grab, then closes the device. When finishing
    // raises, the device is still closed and the first error propagates.
    virtual void Close() {
        CheckApi();
        if (!IsOpen())
            return;
        if (m_Prepared) {
            try {
                FinishGrab();
            } catch (...) {
                try {
                    CloseDevice();
                } catch (...) {
                }
                throw;
            }
        }
        CloseDevice();
    }
    virtual NodeApi::IPort* GetCameraPort() = 0;
    virtual NodeApi::IPort* GetGrabberPort() = 0;
    virtual void SetApi(T* api) { m_pApi = api; }

    // Transport-facing operations of the derived delegate.
    virtual void OpenDevice(const XCamera::DeviceInfo& info) = 0;
    virtual void CloseDevice() = 0;
    virtual void OpenStream() = 0;
    virtual void StreamQueueBuffer(uint32_t size, void* buffer, uint32_t context) = 0;
    virtual XCamera::ERetrieveResult StreamWaitForBuffer(void** buffer, uint32_t* context,
                                                         uint32_t timeoutMs) = 0;
    virtual void StreamFlush() = 0;
    virtual void CloseStream() = 0;

    // Most buffers a FinishGrab drain takes back before it gives up.
    static constexpr int kMaxDrain = 4096;

protected:
    T* GetApi() const { return m_pApi; }

    void CheckApi() const {
        if (m_pApi == nullptr)
            NODEAPI_RAISE_AT(LogicalErrorException, kSource, 279,
                             "No valid pointer to Camera interface implementation. Use SetApi()!");
    }
    void CheckOpen() {
        if (!IsOpen())
            NODEAPI_RAISE_AT(LogicalErrorException, kSource, 287, "Device not open");
    }
    void CheckPrepared() {
        if (!IsPrepared())
            NODEAPI_RAISE_AT(
                LogicalErrorException, kSource, 295,
                "Device is not ready for grabbing. Call PrepareGrab() before start grabbing");
    }

private:
    static constexpr const char* kSource = "camera/TliDelegateBase";

    T* m_pApi = nullptr;
    // Read by the grabber port without a lock.
    std::atomic<bool> m_Prepared{false};
};

} // namespace XCameraPrivate
