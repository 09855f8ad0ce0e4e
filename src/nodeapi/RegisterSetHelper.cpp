// Register buffer helpers.
#include "nodeapi/RegisterSetHelper.h"

#include <cinttypes>
#include <cstring>

#include "nodeapi/Exceptions.h"

namespace NodeApi {

namespace {
const char kSource[] = "nodeapi/RegisterSetHelper";
}

int64_t CopyData(void* destination, int64_t destinationSize, const void* source,
                 uint32_t sourceSize) {
    if (destinationSize != static_cast<int64_t>(sourceSize))
        NODEAPI_RAISE_AT(OutOfRangeException, kSource, 31,
                         "CopyData : Destination size (%" PRId64 ") does not fit source size (%d)",
                         destinationSize, static_cast<int>(sourceSize));
    if (sourceSize > 0 && (destination == nullptr || source == nullptr))
        NODEAPI_RAISE_AT(RuntimeException, kSource, 37, "Invalid user buffer");
    if (sourceSize > 0)
        std::memcpy(destination, source, sourceSize);
    return destinationSize;
}

void ReverseBytes(uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n / 2; ++i) {
        uint8_t t = bytes[i];
        bytes[i] = bytes[n - 1 - i];
        bytes[n - 1 - i] = t;
    }
}

uint64_t LoadLittleEndian(const uint8_t* bytes, size_t n) {
    uint64_t value = 0;
    for (size_t i = n > 8 ? 8 : n; i > 0; --i)
        value = (value << 8) | bytes[i - 1];
    return value;
}

void StoreLittleEndian(uint64_t value, uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n && i < 8; ++i) {
        bytes[i] = static_cast<uint8_t>(value & 0xFF);
        value >>= 8;
    }
}

uint32_t LoadBigEndian32(const uint8_t* bytes) {
    return (static_cast<uint32_t>(bytes[0]) << 24) | (static_cast<uint32_t>(bytes[1]) << 16) |
           (static_cast<uint32_t>(bytes[2]) << 8) | static_cast<uint32_t>(bytes[3]);
}

void StoreBigEndian32(uint32_t value, uint8_t* bytes) {
    bytes[0] = static_cast<uint8_t>(value >> 24);
    bytes[1] = static_cast<uint8_t>(value >> 16);
    bytes[2] = static_cast<uint8_t>(value >> 8);
    bytes[3] = static_cast<uint8_t>(value);
}

} // namespace NodeApi
