// 128-bit feature identifiers of the smart features, as the smart-feature
// inquiry carries them.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace Emulator {

// The four inquiry quadlets (host order) of a GUID: Data1; Data3 << 16 | Data2;
// Data4 bytes 3,2,1,0; Data4 bytes 7,6,5,4 (most significant byte first).
using GuidQuadlets = std::array<uint32_t, 4>;

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (blanks allowed around the
// hyphens) into inquiry quadlets. Throws std::invalid_argument otherwise.
GuidQuadlets ParseGuid(const std::string& text);

} // namespace Emulator
