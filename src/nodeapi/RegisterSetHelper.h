// Helpers for register buffers: the checked buffer copy and byte-order helpers.
#pragma once

#include <cstddef>
#include <cstdint>

namespace NodeApi {

// Copies a register image into a caller's buffer and returns the size copied.
// Raises OutOfRangeException "CopyData : Destination size (%ld) does not fit
// source size (%d)" when the sizes differ, RuntimeException "Invalid user
// buffer" for a null buffer of non-zero size. The destination size is taken as
// 64 bits so that a long caller length cannot be cut into a matching one.
int64_t CopyData(void* destination, int64_t destinationSize, const void* source,
                 uint32_t sourceSize);

// Reverses the order of n bytes in place.
void ReverseBytes(uint8_t* bytes, size_t n);

// The number held by n (at most 8) bytes, least significant byte first.
uint64_t LoadLittleEndian(const uint8_t* bytes, size_t n);
// Stores the low n (at most 8) bytes of value, least significant byte first.
void StoreLittleEndian(uint64_t value, uint8_t* bytes, size_t n);

uint32_t LoadBigEndian32(const uint8_t* bytes);
void StoreBigEndian32(uint32_t value, uint8_t* bytes);

} // namespace NodeApi
