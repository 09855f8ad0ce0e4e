// GxDelegateT: register port, stream grabber and open/close over the
// transport library.
#include "gxdevice/GxDelegateImpl.h"

#include <algorithm>
#include <climits>

#include "contracts/GTrans.h"
#include "gxdevice/DeviceIoException.h"
#include "gxdevice/Gx.h"
#include "xcam/XCamInterface.h"

namespace XCamera {

namespace {

constexpr const char* kSource = "gxdevice/GxDelegateImpl";
// The transport moves at most this many quadlets per register call.
constexpr int64_t kMaxChunkQuadlets = 32;

// One queued buffer, handed to the transport as its context pointer.
struct BufferRecord {
    void* Buffer;
    uint32_t Context;
};

// Register data through IPort is most significant byte first.
inline void StoreBigEndian(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

inline uint32_t LoadBigEndian(const uint8_t* bytes) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
}

// Length checks shared by Read and Write (after the open check).
void CheckLength(int64_t length, uint32_t multipleLine, const char* multipleText,
                 uint32_t rangeLine) {
    if (length % 4 != 0)
        NODEAPI_RAISE_AT(InvalidArgumentException, kSource, multipleLine, "%s", multipleText);
    if (length < 0 || length / 4 > INT_MAX)
        NODEAPI_RAISE_AT(InvalidArgumentException, kSource, rangeLine,
                         "Length out of range 0..INT_MAX * 4");
}

// Addresses of k quadlets from address on: the low 32 bits of each.
void FillAddresses(uint32_t* addresses, int64_t address, int64_t k) {
    for (int64_t i = 0; i < k; ++i)
        addresses[i] = static_cast<uint32_t>(static_cast<uint64_t>(address) + 4 * uint64_t(i));
}

} // namespace

template <class T>
GxDelegateT<T>::GxDelegateT() : m_GrabberPort(this) {}

template <class T>
GxDelegateT<T>::~GxDelegateT() {
    if (IsOpen()) {
        try {
            this->Close();
        } catch (...) {
        }
    }
    // Without a typed interface Close refuses; the handles are still let go.
    if (m_GrabberHandle != 0) {
        try {
            CloseStream();
        } catch (...) {
        }
    }
    if (IsOpen()) {
        try {
            CloseDevice();
        } catch (...) {
        }
    }
    for (void* record : m_Outstanding)
        delete static_cast<BufferRecord*>(record);
}

template <class T>
void GxDelegateT<T>::OpenDevice(const DeviceInfo& info) {
    InitTransport();
    GxHandle handle = 0;
    const GxStatus status = GxOpen(info.Name.c_str(), 2, &handle);
    if (status != GX_OK) {
        // Balance the start-up above: the device never opened.
        GxExit();
        throw DeviceIoException(status, kSource, 74);
    }
    m_DeviceHandle = handle;
}

template <class T>
void GxDelegateT<T>::CloseDevice() {
    const GxStatus status = GxClose(m_DeviceHandle);
    m_DeviceHandle = 0;
    GxExit();
    if (status != GX_OK)
        throw DeviceIoException(status, kSource, 95);
}

template <class T>
void GxDelegateT<T>::Read(void* buffer, int64_t address, int64_t length) {
    this->CheckOpen();
    CheckLength(length, 106, "ReadReg length must be integral numbered multiple of 4", 108);
    if (length == 0)
        return;
    if (buffer == nullptr)
        NODEAPI_RAISE(RuntimeException, "Invalid user buffer");
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    uint32_t addresses[kMaxChunkQuadlets];
    uint32_t values[kMaxChunkQuadlets];
    for (int64_t done = 0, total = length / 4; done < total;) {
        const int64_t k = std::min(total - done, kMaxChunkQuadlets);
        FillAddresses(addresses, address + 4 * done, k);
        const GxStatus status =
            GxReadReg(m_DeviceHandle, addresses, values, static_cast<uint32_t>(k));
        if (status != GX_OK)
            throw DeviceIoException(status, kSource, 124);
        for (int64_t i = 0; i < k; ++i)
            StoreBigEndian(bytes + 4 * (done + i), values[i]);
        done += k;
    }
}

template <class T>
void GxDelegateT<T>::Write(const void* buffer, int64_t address, int64_t length) {
    this->CheckOpen();
    CheckLength(length, 147, "WriteReg length must be integral numbered multiple of 4", 149);
    if (length == 0)
        return;
    if (buffer == nullptr)
        NODEAPI_RAISE(RuntimeException, "Invalid user buffer");
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    uint32_t addresses[kMaxChunkQuadlets];
    uint32_t values[kMaxChunkQuadlets];
    for (int64_t done = 0, total = length / 4; done < total;) {
        const int64_t k = std::min(total - done, kMaxChunkQuadlets);
        FillAddresses(addresses, address + 4 * done, k);
        for (int64_t i = 0; i < k; ++i)
            values[i] = LoadBigEndian(bytes + 4 * (done + i));
        const GxStatus status =
            GxWriteReg(m_DeviceHandle, addresses, values, static_cast<uint32_t>(k));
        if (status != GX_OK)
            throw DeviceIoException(status, kSource, 182);
        done += k;
    }
}

template <class T>
void GxDelegateT<T>::OpenStream() {
    GxHandle grabber = 0;
    GxStatus status = GxStreamGrabberCreate(&grabber);
    if (status != GX_OK) {
        m_GrabberHandle = 0;
        throw DeviceIoException(status, kSource, 199);
    }
    m_GrabberHandle = grabber;
    // Whatever fails from here on, reading the sizes included, the grabber
    // just created is destroyed again.
    try {
        this->CheckApi();
        T* api = this->GetApi();
        uint32_t bufferSize = static_cast<uint32_t>(api->TotalBytes->GetValue());
        const uint32_t depth = static_cast<uint32_t>(api->DataDepth->GetValue());
        const uint32_t bytesPerPixel = depth >= 8 ? (depth + 7) / 8 : depth;
        const uint32_t sixteenBit = bytesPerPixel == 2 ? 1 : 0;
        status = GxStreamGrabberAllocResourcesEx(grabber, 50, &bufferSize, 1, 1500, sixteenBit);
        if (status != GX_OK)
            throw DeviceIoException(status, kSource, 231);
        GxStreamAddress streamAddress{};
        status = GxStreamGrabberGetAddress(grabber, &streamAddress);
        if (status != GX_OK)
            throw DeviceIoException(status, kSource, 236);
        status = GxOpenStream(m_DeviceHandle, 0, &streamAddress, 1500);
        if (status != GX_OK)
            throw DeviceIoException(status, kSource, 240);
    } catch (...) {
        GxStreamGrabberDestroy(grabber);
        m_GrabberHandle = 0;
        throw;
    }
}

template <class T>
void GxDelegateT<T>::StreamQueueBuffer(uint32_t size, void* buffer, uint32_t context) {
    if (buffer == nullptr && size != 0)
        NODEAPI_RAISE(RuntimeException, "Invalid user buffer");
    auto* record = new BufferRecord{buffer, context};
    m_Outstanding.insert(record);
    const GxStatus status = GxStreamGrabberReceiveAsync(m_GrabberHandle, buffer, size, record, 0);
    if (status != GX_OK) {
        // The transport did not take the record.
        m_Outstanding.erase(record);
        delete record;
        throw DeviceIoException(status, kSource, 263);
    }
}

template <class T>
ERetrieveResult GxDelegateT<T>::StreamWaitForBuffer(void** buffer, uint32_t* context,
                                                    uint32_t timeoutMs) {
    void* handedBack = nullptr;
    const GxStatus status = GxStreamGrabberWaitForBuffer(m_GrabberHandle, timeoutMs, &handedBack);
    // Only a record this delegate queued is trusted; anything else is none.
    BufferRecord* record = nullptr;
    auto it = m_Outstanding.find(handedBack);
    if (it != m_Outstanding.end()) {
        record = static_cast<BufferRecord*>(*it);
        m_Outstanding.erase(it);
    }
    if (buffer != nullptr)
        *buffer = record != nullptr ? record->Buffer : nullptr;
    if (context != nullptr)
        *context = record != nullptr ? record->Context : 0;
    delete record;
    switch (status) {
    case GX_OK:
        return RetrieveFilled;
    case GX_STATUS_FLUSHED:
        return RetrieveFlushed;
    case GX_STATUS_TIMEOUT:
        return RetrieveTimedOut;
    case GX_STATUS_INCOMPLETE:
        return RetrieveIncomplete;
    default:
        throw DeviceIoException(status, kSource, 313);
    }
}

template <class T>
void GxDelegateT<T>::StreamFlush() {
    const GxStatus status = GxStreamGrabberFlush(m_GrabberHandle);
    if (status != GX_OK)
        throw DeviceIoException(status, kSource, 272);
}

template <class T>
void GxDelegateT<T>::CloseStream() {
    if (m_GrabberHandle == 0)
        return;
    const GxStatus destroyed = GxStreamGrabberDestroy(m_GrabberHandle);
    m_GrabberHandle = 0;
    // The destroyed grabber gives nothing back any more.
    for (void* record : m_Outstanding)
        delete static_cast<BufferRecord*>(record);
    m_Outstanding.clear();
    if (destroyed != GX_OK) {
        (void)GxCloseStream(m_DeviceHandle, 0);
        throw DeviceIoException(destroyed, kSource, 334);
    }
    const GxStatus closed = GxCloseStream(m_DeviceHandle, 0);
    if (closed != GX_OK)
        throw DeviceIoException(closed, kSource, 339);
}

template class GxDelegateT<XCamInterface::CXCamInterface>;

} // namespace XCamera
