// Outcome of a register access on the emulated camera, and the exception the
// throwing helpers raise with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace Emulator {

// What a bus access answers. Writes the camera merely ignores (read-only bits,
// refused values) still answer Ok, as a real camera acknowledges them.
enum class Status {
    Ok = 0,
    Unmapped,   // some quadlet of the range lies outside every register block
    Misaligned, // address or length not a multiple of 4
    BadLength,  // zero length, or address + length wraps around
    NullBuffer, // no buffer for a non-empty access
};

const char* StatusText(Status status);

class AccessError : public std::runtime_error {
public:
    AccessError(Status status, bool write, uint64_t address, size_t length);
    Status status() const { return status_; }
    uint64_t address() const { return address_; }

private:
    Status status_;
    uint64_t address_;
};

} // namespace Emulator
