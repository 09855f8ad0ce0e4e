// Status texts of the transport library, with the latest details per status.
#include "gtrans/Status.h"

#include <stdio.h>

#include <map>
#include <mutex>

#include "contracts/GTrans.h"
#include "gtrans/Wire.h"

namespace gtrans {
namespace {

struct DetailTable {
    std::mutex mutex;
    std::map<uint32_t, std::string> details;
};

// Never destroyed: threads may still fail while the process exits.
DetailTable& Table() {
    static DetailTable* table = new DetailTable;
    return *table;
}

const char* BaseText(uint32_t status) {
    switch (status) {
    case GX_OK:
        return "success";
    case GX_STATUS_FLUSHED:
        return "no buffer queued (the grabber is flushed and empty)";
    case GX_STATUS_TIMEOUT:
        return "no buffer completed within the time-out";
    case GX_STATUS_INCOMPLETE:
        return "buffer incomplete or cancelled";
    case GX_STATUS_BUFFER_TOO_SMALL:
        return "text buffer too small";
    case kNotInitialised:
        return "transport not initialised (GxInit not called)";
    case kInvalidArgument:
        return "invalid argument";
    case kInvalidHandle:
        return "unknown handle";
    case kTimeout:
        return "camera did not answer";
    case kUnreachable:
        return "camera unreachable (nothing listens at its address and port)";
    case kSocketError:
        return "socket error";
    case kBadDeviceName:
        return "device name is not a loopback IPv4 address";
    case kWrongDevice:
        return "camera has another serial number";
    case kBadState:
        return "stream grabber not ready";
    case kQueueFull:
        return "too many buffers queued";
    case kBadAnswer:
        return "camera answer inconsistent with the command";
    default:
        return nullptr;
    }
}

} // namespace

uint32_t Fail(uint32_t status, const std::string& detail) {
    DetailTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    table.details[status] = detail;
    return status;
}

std::string StatusText(uint32_t status) {
    std::string text;
    if (const char* base = BaseText(status)) {
        text = base;
    } else if ((status & 0xFFFF0000u) == kAckStatusBase) {
        char buffer[96];
        const char* name = gvwire::StatusName(uint16_t(status));
        snprintf(buffer, sizeof buffer, "camera answered %s (0x%04X)", name ? name : "an error",
                 unsigned(status & 0xFFFFu));
        text = buffer;
    } else {
        char buffer[64];
        snprintf(buffer, sizeof buffer, "unknown status 0x%08X", unsigned(status));
        return buffer;
    }
    DetailTable& table = Table();
    std::lock_guard<std::mutex> lock(table.mutex);
    auto it = table.details.find(status);
    if (it != table.details.end() && !it->second.empty())
        text += ": " + it->second;
    return text;
}

} // namespace gtrans
