// Transport start-up, status texts and the "GxCam" enumeration.
#include "gxdevice/Gx.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "contracts/GTrans.h"
#include "gxdevice/DeviceIoException.h"

namespace XCamera {

namespace {

// A status text is asked for again at most this often when the transport
// keeps answering "buffer too small", and is never given more room than this.
constexpr int kMaxStatusTextTries = 8;
constexpr uint32_t kMaxStatusTextSize = 4096;
// Longest device name or description taken from the transport.
constexpr size_t kMaxDeviceTextLength = 255;

std::string FatalStatusText(uint32_t answer) {
    char text[80];
    std::snprintf(text, sizeof text,
                  "<Fatal error while retrieving GX status message (0x%08" PRIx32 ")>", answer);
    return text;
}

// The text of a transport string, cut at its terminator or the length limit.
std::string DeviceText(const char* text) {
    if (text == nullptr)
        return std::string();
    return std::string(text, strnlen(text, kMaxDeviceTextLength));
}

int32_t AppendDevice(const char* first, const char* second, void* context) {
    // The transport is C: nothing may be thrown through it.
    try {
        DeviceInfo info;
        info.Name = DeviceText(first);
        info.Description = DeviceText(second);
        info.DeviceClass = "GxCam";
        static_cast<DeviceInfoList*>(context)->push_back(std::move(info));
    } catch (...) {
    }
    return 0;
}

} // namespace

void InitTransport() {
    const GxStatus status = GxInit();
    if (status != GX_OK)
        throw DeviceIoException(status, "gxdevice/Gx", 23);
}

std::string GetStatusText(uint32_t status) {
    std::vector<char> buffer;
    uint32_t size = 0;
    GxStatus answer = GxGetStatusMessage(status, nullptr, 0, &size);
    for (int tries = 0; answer == GX_STATUS_BUFFER_TOO_SMALL; ++tries) {
        if (tries == kMaxStatusTextTries || size == 0 || size > kMaxStatusTextSize)
            return FatalStatusText(answer);
        buffer.assign(size, '\0');
        answer = GxGetStatusMessage(status, buffer.data(), size, &size);
    }
    if (answer != GX_OK)
        return FatalStatusText(answer);
    if (buffer.empty())
        return "<NULL>";
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

void EnumerateServers(DeviceInfoList& list, const PropertySet* properties) {
    InitTransport();
    std::string port = kDefaultPortNumber;
    if (properties != nullptr && properties->Has("PortNumber"))
        port = properties->Get("PortNumber");
    DeviceInfoList found;
    // The status is of no use: a failed search simply finds nothing.
    (void)GxEnumServer(port.c_str(), 1000, &AppendDevice, &found);
    list = found;
}

} // namespace XCamera
