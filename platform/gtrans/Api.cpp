// The transport library's C functions: handle tables and argument checks in
// front of the devices, the grabbers and the enumeration.
#include <string.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "contracts/GTrans.h"
#include "gtrans/Device.h"
#include "gtrans/Discovery.h"
#include "gtrans/GTransStats.h"
#include "gtrans/Grabber.h"
#include "gtrans/Status.h"
#include "gtrans/Wire.h"

namespace gtrans {
namespace {

// Devices and grabbers share one handle counter, so a handle names at most
// one live object and is not given out again while that object lives.
struct Registry {
    std::mutex mutex;
    int initCount = 0;
    uint32_t lastHandle = 0;
    std::map<uint32_t, std::shared_ptr<Device>> devices;
    std::map<uint32_t, std::shared_ptr<Grabber>> grabbers;

    uint32_t NewHandle() {
        do {
            ++lastHandle;
        } while (lastHandle == 0 || devices.count(lastHandle) || grabbers.count(lastHandle));
        return lastHandle;
    }
};

// Never destroyed: a heartbeat or receive thread may outlive static
// destruction when the process exits with handles open.
Registry& Reg() {
    static Registry* registry = new Registry;
    return *registry;
}

bool Initialised() {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    return Reg().initCount > 0;
}

std::shared_ptr<Device> FindDevice(GxHandle handle) {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    auto it = Reg().devices.find(handle);
    return it == Reg().devices.end() ? nullptr : it->second;
}

std::shared_ptr<Grabber> FindGrabber(GxHandle handle) {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    auto it = Reg().grabbers.find(handle);
    return it == Reg().grabbers.end() ? nullptr : it->second;
}

uint32_t UnknownDevice(GxHandle handle) {
    return Fail(kInvalidHandle, "no open device with handle " + std::to_string(handle));
}

uint32_t UnknownGrabber(GxHandle handle) {
    return Fail(kInvalidHandle, "no stream grabber with handle " + std::to_string(handle));
}

uint32_t CheckCount(const void* a, const void* b, uint32_t count) {
    if (!a || !b)
        return Fail(kInvalidArgument, "null address or value array");
    if (count < 1 || count > gvwire::kMaxRegistersPerCall)
        return Fail(kInvalidArgument, "register count " + std::to_string(count) + " outside 1..32");
    return 0;
}

// "a.b.c.d[:serial][@port]"
uint32_t ParseName(const char* name, uint32_t& address, std::string& serial, uint16_t& port) {
    const std::string text = name ? name : "";
    std::string rest = text;
    const size_t at = rest.find('@');
    port = 0;
    if (at != std::string::npos) {
        if (!ParsePort(rest.c_str() + at + 1, port))
            return Fail(kBadDeviceName, "'" + text + "'");
        rest.resize(at);
    }
    const size_t colon = rest.find(':');
    if (colon != std::string::npos) {
        serial = rest.substr(colon + 1);
        rest.resize(colon);
    }
    if (!ParseLoopbackAddress(rest.data(), rest.size(), address) || (address & 0xFF) == 0 ||
        (address & 0xFF) == 0xFF)
        return Fail(kBadDeviceName, "'" + text + "'");
    if (port == 0)
        port = KnownPort(address);
    return 0;
}

} // namespace
} // namespace gtrans

using namespace gtrans;

extern "C" {

GxStatus GxInit(void) {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    ++Reg().initCount;
    return GX_OK;
}

void GxExit(void) {
    std::lock_guard<std::mutex> lock(Reg().mutex);
    if (Reg().initCount > 0)
        --Reg().initCount;
}

GxStatus GxEnumServer(const char* port, uint32_t timeoutMs, GxEnumCallback callback,
                      void* context) {
    if (!Initialised())
        return Fail(kNotInitialised, "enumeration");
    return Enumerate(port, timeoutMs, callback, context);
}

GxStatus GxOpen(const char* deviceName, uint32_t mode, GxHandle* device) {
    (void)mode; // the only mode is control access
    if (!device)
        return Fail(kInvalidArgument, "open without a handle to fill");
    *device = 0;
    if (!Initialised())
        return Fail(kNotInitialised, "open");
    uint32_t address = 0;
    uint16_t port = 0;
    std::string serial;
    uint32_t status = ParseName(deviceName, address, serial, port);
    if (status != 0)
        return status;
    auto opened = std::make_shared<Device>(address, port);
    status = opened->Open(serial);
    if (status != 0)
        return status;
    std::lock_guard<std::mutex> lock(Reg().mutex);
    *device = Reg().NewHandle();
    Reg().devices[*device] = opened;
    return GX_OK;
}

GxStatus GxClose(GxHandle device) {
    std::shared_ptr<Device> found;
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        auto it = Reg().devices.find(device);
        if (it == Reg().devices.end())
            return UnknownDevice(device);
        found = it->second;
        Reg().devices.erase(it);
    }
    return found->Close();
}

GxStatus GxReadReg(GxHandle device, const uint32_t* addresses, uint32_t* values, uint32_t count) {
    if (uint32_t status = CheckCount(addresses, values, count))
        return status;
    std::shared_ptr<Device> found = FindDevice(device);
    if (!found)
        return UnknownDevice(device);
    return found->ReadRegs(addresses, values, count);
}

GxStatus GxWriteReg(GxHandle device, const uint32_t* addresses, const uint32_t* values,
                    uint32_t count) {
    if (uint32_t status = CheckCount(addresses, values, count))
        return status;
    std::shared_ptr<Device> found = FindDevice(device);
    if (!found)
        return UnknownDevice(device);
    return found->WriteRegs(addresses, values, count);
}

GxStatus GxStreamGrabberCreate(GxHandle* grabber) {
    if (!grabber)
        return Fail(kInvalidArgument, "grabber create without a handle to fill");
    *grabber = 0;
    auto created = std::make_shared<Grabber>();
    if (uint32_t status = created->Create())
        return status;
    std::lock_guard<std::mutex> lock(Reg().mutex);
    *grabber = Reg().NewHandle();
    Reg().grabbers[*grabber] = created;
    return GX_OK;
}

GxStatus GxStreamGrabberAllocResourcesEx(GxHandle grabber, uint32_t maxBuffers,
                                         uint32_t* bufferSize, uint32_t packetMode,
                                         uint32_t packetSize, uint32_t sixteenBit) {
    (void)packetMode;
    (void)sixteenBit; // the leader's pixel format says the sample size
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    if (!bufferSize)
        return Fail(kInvalidArgument, "stream resources without a buffer size");
    return found->Alloc(maxBuffers, *bufferSize, packetSize);
}

GxStatus GxStreamGrabberGetAddress(GxHandle grabber, GxStreamAddress* address) {
    if (!address)
        return Fail(kInvalidArgument, "null address record");
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    return found->GetAddress(*address);
}

GxStatus GxOpenStream(GxHandle device, uint32_t channel, const GxStreamAddress* address,
                      uint32_t packetSize) {
    std::shared_ptr<Device> found = FindDevice(device);
    if (!found)
        return UnknownDevice(device);
    if (channel != 0 || !address || packetSize < 576 || packetSize > 9000)
        return Fail(kInvalidArgument, "stream channel " + std::to_string(channel) +
                                          ", packet size " + std::to_string(packetSize) +
                                          " (channel 0, 576..9000 and an address record)");
    sockaddr_in target{};
    memcpy(&target, address->bytes, sizeof target);
    uint32_t host = ntohl(target.sin_addr.s_addr);
    if (target.sin_family != AF_INET || (host >> 24) != 127 || target.sin_port == 0)
        return Fail(kInvalidArgument, "stream address record is no loopback IPv4 address");
    // The grabber behind that address now listens to this camera only.
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        for (auto& entry : Reg().grabbers)
            if (entry.second->Owns(address->bytes, sizeof address->bytes))
                entry.second->Bind(found->Address(), found->Port(),
                                   (found->Capabilities() & gvwire::kCapabilityPacketResend) != 0);
    }
    // The port last: writing it opens the channel.
    const uint32_t addresses[3] = {gvwire::kRegScps0, gvwire::kRegScda0, gvwire::kRegScp0};
    const uint32_t values[3] = {packetSize & gvwire::kScpsSizeMask, host,
                                uint32_t(ntohs(target.sin_port)) & gvwire::kScpPortMask};
    return found->WriteRegs(addresses, values, 3);
}

GxStatus GxStreamGrabberReceiveAsync(GxHandle grabber, void* buffer, uint32_t size, void* context,
                                     uint32_t flags) {
    (void)flags;
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    return found->Queue(buffer, size, context);
}

GxStatus GxStreamGrabberWaitForBuffer(GxHandle grabber, uint32_t timeoutMs, void** context) {
    if (context)
        *context = nullptr;
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    return found->Wait(timeoutMs, context);
}

GxStatus GxStreamGrabberFlush(GxHandle grabber) {
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    return found->Flush();
}

GxStatus GxStreamGrabberDestroy(GxHandle grabber) {
    std::shared_ptr<Grabber> found;
    {
        std::lock_guard<std::mutex> lock(Reg().mutex);
        auto it = Reg().grabbers.find(grabber);
        if (it == Reg().grabbers.end())
            return UnknownGrabber(grabber);
        found = it->second;
        Reg().grabbers.erase(it);
    }
    found->Stop();
    return GX_OK;
}

GxStatus GxCloseStream(GxHandle device, uint32_t channel) {
    std::shared_ptr<Device> found = FindDevice(device);
    if (!found)
        return UnknownDevice(device);
    if (channel != 0)
        return Fail(kInvalidArgument, "stream channel " + std::to_string(channel));
    const uint32_t address = gvwire::kRegScp0, closed = 0;
    return found->WriteRegs(&address, &closed, 1);
}

GxStatus GxGetStatusMessage(GxStatus status, char* text, uint32_t size, uint32_t* needed) {
    const std::string message = StatusText(status);
    const uint32_t required = uint32_t(message.size() + 1);
    if (needed)
        *needed = required;
    if (!text || size < required)
        return GX_STATUS_BUFFER_TOO_SMALL;
    memcpy(text, message.c_str(), required);
    return GX_OK;
}

GxStatus GxStreamGrabberGetStatistics(GxHandle grabber, GxGrabberStatistics* stats) {
    if (!stats)
        return Fail(kInvalidArgument, "null statistics record");
    std::shared_ptr<Grabber> found = FindGrabber(grabber);
    if (!found)
        return UnknownGrabber(grabber);
    found->Statistics(*stats);
    return GX_OK;
}

} // extern "C"
