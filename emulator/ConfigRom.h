// IEEE 1212 configuration ROM of the emulated camera: bus information block,
// root directory, IIDC unit directory, unit-dependent directory and the vendor
// and model text leaves, with every CRC filled in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace Emulator {

struct ModelSpec;

// CRC-16 of IEEE 1212 (polynomial 0x1021, initial 0, MSB first) over the
// big-endian bytes of `count` quadlets.
uint16_t Crc16(const uint32_t* quadlets, size_t count);

// The ROM as host-order quadlets, starting at the bus information block
// (0xFFFFF0000400). The window beyond the returned quadlets reads 0.
std::vector<uint32_t> BuildConfigRom(const ModelSpec& model, uint32_t commandQuadletOffset);

} // namespace Emulator
