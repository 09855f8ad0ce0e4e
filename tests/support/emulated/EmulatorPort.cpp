#include "support/emulated/EmulatorPort.h"

#include <cinttypes>
#include <cstddef>

#include "emulator/Status.h"
#include "nodeapi/Exceptions.h"

namespace Emulator {

namespace {

void CheckAccess(bool open, const char* what, int64_t address, int64_t length) {
    if (!open)
        NODEAPI_RAISE(RuntimeException, "Failed to %s register 0x%016" PRIx64 ": device not open",
                      what, static_cast<uint64_t>(address));
    if (length < 0)
        NODEAPI_RAISE(RuntimeException,
                      "Failed to %s register 0x%016" PRIx64 ": negative length %" PRId64, what,
                      static_cast<uint64_t>(address), length);
}

void CheckStatus(Status status, const char* what, int64_t address, int64_t length) {
    if (status != Status::Ok)
        NODEAPI_RAISE(RuntimeException,
                      "Failed to %s %" PRId64 " bytes at register 0x%016" PRIx64 ": %s", what,
                      length, static_cast<uint64_t>(address), StatusText(status));
}

} // namespace

void EmulatorPort::Read(void* destination, int64_t address, int64_t length) {
    ++m_Reads;
    CheckAccess(m_Open, "read", address, length);
    CheckStatus(
        m_Space.Read(static_cast<uint64_t>(address), destination, static_cast<size_t>(length)),
        "read", address, length);
}

void EmulatorPort::Write(const void* source, int64_t address, int64_t length) {
    ++m_Writes;
    CheckAccess(m_Open, "write", address, length);
    CheckStatus(m_Space.Write(static_cast<uint64_t>(address), source, static_cast<size_t>(length)),
                "write", address, length);
}

} // namespace Emulator
