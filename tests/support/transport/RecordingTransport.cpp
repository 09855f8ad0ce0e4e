#include "support/transport/RecordingTransport.h"

#include <cstdio>
#include <cstring>

#include "contracts/GTrans.h"
#include "emulator/Model.h"
#include "emulator/RegisterSpace.h"

namespace KacqTest {

RecordingTransport& RecordingTransport::Instance() {
    static RecordingTransport instance;
    return instance;
}

RecordingTransport::RecordingTransport()
    : m_pSpace(std::make_unique<Emulator::RegisterSpace>(Emulator::Models().front())) {}

void RecordingTransport::Reset() {
    *this = RecordingTransport();
}

void RecordingTransport::Script(const std::string& function, std::vector<uint32_t> statuses) {
    auto& queue = m_Scripts[function];
    queue.insert(queue.end(), statuses.begin(), statuses.end());
}

uint32_t RecordingTransport::NextStatus(const std::string& function) {
    auto& queue = m_Scripts[function];
    if (queue.empty())
        return 0;
    const uint32_t status = queue.front();
    queue.pop_front();
    return status;
}

std::vector<TransportCall> RecordingTransport::CallsOf(const std::string& function) const {
    std::vector<TransportCall> found;
    for (const auto& call : Calls)
        if (call.Function == function)
            found.push_back(call);
    return found;
}

std::vector<std::string> RecordingTransport::Names() const {
    std::vector<std::string> names;
    for (const auto& call : Calls)
        names.push_back(call.Function);
    return names;
}

} // namespace KacqTest

using KacqTest::RecordingTransport;

namespace {

RecordingTransport& T() {
    return RecordingTransport::Instance();
}

uint32_t Record(const char* function, std::vector<uint64_t> args, const char* text = nullptr) {
    T().Calls.push_back({function, std::move(args), text ? text : ""});
    return T().NextStatus(function);
}

} // namespace

extern "C" {

GxStatus GxInit(void) {
    return Record("GxInit", {});
}

void GxExit(void) {
    Record("GxExit", {});
}

GxStatus GxEnumServer(const char* port, uint32_t timeoutMs, GxEnumCallback callback,
                      void* context) {
    const GxStatus status = Record("GxEnumServer", {timeoutMs}, port);
    for (const auto& server : T().Servers)
        callback(server.first.c_str(), server.second.c_str(), context);
    return status;
}

GxStatus GxOpen(const char* deviceName, uint32_t mode, GxHandle* device) {
    const GxStatus status = Record("GxOpen", {mode}, deviceName);
    if (status == 0)
        *device = T().DeviceHandle;
    return status;
}

GxStatus GxClose(GxHandle device) {
    return Record("GxClose", {device});
}

GxStatus GxReadReg(GxHandle device, const uint32_t* addresses, uint32_t* values, uint32_t count) {
    std::vector<uint64_t> args{device, count};
    args.insert(args.end(), addresses, addresses + count);
    const GxStatus status = Record("GxReadReg", std::move(args));
    if (status != 0)
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        const auto it = T().Overrides.find(addresses[i]);
        uint8_t b[4] = {};
        if (it == T().Overrides.end() &&
            T().Space().Read(0xFFFF00000000ull | addresses[i], b, 4) != Emulator::Status::Ok)
            return KacqTest::kRegisterAccessFailed;
        values[i] = it != T().Overrides.end()
                        ? it->second
                        : uint32_t(b[0]) << 24 | uint32_t(b[1]) << 16 | uint32_t(b[2]) << 8 | b[3];
    }
    return 0;
}

GxStatus GxWriteReg(GxHandle device, const uint32_t* addresses, const uint32_t* values,
                    uint32_t count) {
    std::vector<uint64_t> args{device, count};
    args.insert(args.end(), addresses, addresses + count);
    args.insert(args.end(), values, values + count);
    const GxStatus status = Record("GxWriteReg", std::move(args));
    if (status != 0)
        return status;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t bytes[4] = {uint8_t(values[i] >> 24), uint8_t(values[i] >> 16),
                                  uint8_t(values[i] >> 8), uint8_t(values[i])};
        if (T().Space().Write(0xFFFF00000000ull | addresses[i], bytes, 4) != Emulator::Status::Ok)
            return KacqTest::kRegisterAccessFailed;
    }
    return 0;
}

GxStatus GxStreamGrabberCreate(GxHandle* grabber) {
    const GxStatus status = Record("GxStreamGrabberCreate", {});
    if (status == 0) {
        *grabber = T().GrabberHandle;
        T().Flushed = false;
    }
    return status;
}

GxStatus GxStreamGrabberAllocResourcesEx(GxHandle grabber, uint32_t maxBuffers,
                                         uint32_t* bufferSize, uint32_t packetMode,
                                         uint32_t packetSize, uint32_t sixteenBit) {
    return Record("GxStreamGrabberAllocResourcesEx",
                  {grabber, maxBuffers, *bufferSize, packetMode, packetSize, sixteenBit});
}

GxStatus GxStreamGrabberGetAddress(GxHandle grabber, GxStreamAddress* address) {
    std::memset(address, 0x5A, sizeof *address);
    return Record("GxStreamGrabberGetAddress", {grabber});
}

GxStatus GxOpenStream(GxHandle device, uint32_t channel, const GxStreamAddress* address,
                      uint32_t packetSize) {
    return Record("GxOpenStream", {device, channel, address->bytes[0], packetSize});
}

GxStatus GxStreamGrabberReceiveAsync(GxHandle grabber, void* buffer, uint32_t size, void* context,
                                     uint32_t flags) {
    const GxStatus status = Record("GxStreamGrabberReceiveAsync",
                                   {grabber, reinterpret_cast<uintptr_t>(buffer), size, flags});
    if (status == 0)
        T().Queued.push_back(context);
    return status;
}

GxStatus GxStreamGrabberWaitForBuffer(GxHandle grabber, uint32_t timeoutMs, void** context) {
    const GxStatus scripted = Record("GxStreamGrabberWaitForBuffer", {grabber, timeoutMs});
    if (scripted != 0)
        return scripted;
    if (T().Queued.empty())
        return T().Flushed ? GX_STATUS_FLUSHED : GX_STATUS_TIMEOUT;
    *context = T().Queued.front();
    T().Queued.pop_front();
    return T().Flushed ? GX_STATUS_INCOMPLETE : GX_OK;
}

GxStatus GxStreamGrabberFlush(GxHandle grabber) {
    const GxStatus status = Record("GxStreamGrabberFlush", {grabber});
    T().Flushed = true;
    return status;
}

GxStatus GxStreamGrabberDestroy(GxHandle grabber) {
    const GxStatus status = Record("GxStreamGrabberDestroy", {grabber});
    T().Queued.clear();
    return status;
}

GxStatus GxCloseStream(GxHandle device, uint32_t channel) {
    return Record("GxCloseStream", {device, channel});
}

GxStatus GxGetStatusMessage(GxStatus status, char* text, uint32_t size, uint32_t* needed) {
    const GxStatus scripted = Record("GxGetStatusMessage", {status, size});
    if (scripted != 0)
        return scripted;
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "status 0x%08x", status);
    auto it = T().StatusTexts.find(status);
    const std::string message = it != T().StatusTexts.end() ? it->second : buffer;
    if (it != T().StatusTexts.end() && message.empty())
        return 0;
    const uint32_t need = static_cast<uint32_t>(message.size() + (T().Unterminated ? 0 : 1));
    if (T().AlwaysTooSmall || text == nullptr || size < need) {
        const uint32_t step = T().AlwaysTooSmall ? 1 : T().NeedStep;
        *needed = step > 0 && (T().AlwaysTooSmall || size + step < need) ? size + step : need;
        return GX_STATUS_BUFFER_TOO_SMALL;
    }
    std::memcpy(text, message.data(), need);
    *needed = need;
    return 0;
}

} // extern "C"
