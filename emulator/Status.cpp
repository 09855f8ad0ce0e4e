// Texts of access statuses and the access exception.
#include "emulator/Status.h"

#include <cinttypes>
#include <cstdio>

namespace Emulator {

const char* StatusText(Status status) {
    switch (status) {
    case Status::Ok:
        return "success";
    case Status::Unmapped:
        return "address not mapped";
    case Status::Misaligned:
        return "address or length not quadlet aligned";
    case Status::BadLength:
        return "bad length";
    case Status::NullBuffer:
        return "no buffer";
    }
    return "unknown status";
}

AccessError::AccessError(Status status, bool write, uint64_t address, size_t length)
    : std::runtime_error([&] {
          char text[160];
          std::snprintf(text, sizeof text, "emulator: %s of %zu bytes at 0x%012" PRIx64 ": %s",
                        write ? "write" : "read", length, address, StatusText(status));
          return std::string(text);
      }()),
      status_(status), address_(address) {}

} // namespace Emulator
