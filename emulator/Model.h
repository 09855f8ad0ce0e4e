// The emulated camera models: sensor geometry, inquiry contents and limits that
// differ between models. The register map itself is the same for all of them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace Emulator {

// IIDC Format_7 colour coding IDs (COLOR_CODING_ID values).
enum ColorCoding : uint8_t {
    kMono8 = 0,
    kMono16 = 5,
    kRaw8 = 9,
    kRaw16 = 10,
};

// COLOR_CODING_INQ bit of a coding ID: IIDC bit [id] is LSB-0 bit 31 - id.
constexpr uint32_t CodingBit(unsigned id) {
    return id < 32 ? 0x80000000u >> id : 0;
}

// One Format_7 mode. Sizes in pixels, packet sizes in bytes.
struct Format7Mode {
    uint16_t maxWidth, maxHeight;   // MAX_IMAGE_SIZE_INQ
    uint16_t unitWidth, unitHeight; // UNIT_SIZE_INQ
    uint16_t unitLeft, unitTop;     // UNIT_POSITION_INQ
    uint16_t unitBytesPerPacket;    // PACKET_PARA_INQ, multiple of 4
    uint16_t maxBytesPerPacket;     // PACKET_PARA_INQ; also RecBytePerPacket
    double fullFrameRate;           // sensor read-out rate at full height, frames/s
};

// Raw range and power-up value of an IIDC feature (12-bit fields).
struct FeatureRange {
    bool present;
    uint16_t min, max, reset;
};

struct ModelSpec {
    const char* key;        // name for command lines, e.g. "vga-mono"
    const char* vendorName; // configuration ROM text leaves
    const char* modelName;
    uint64_t eui64;                 // bus info block GUID
    std::vector<Format7Mode> modes; // Format_7 modes 0, 1, ...
    uint32_t colorCodings;          // COLOR_CODING_INQ, the same for every mode
    uint8_t resetColorCoding;
    uint8_t depth16;     // significant bits of a 16-bit coding
    uint8_t colorFilter; // COLOR_FILTER_ID for Raw codings: 0 RGGB
    FeatureRange brightness, shutter, gain, whiteBalance;
    double shutterUnit;     // seconds per raw shutter step while no time base is set
    uint32_t triggerInq;    // TRIGGER_INQ
    uint8_t memoryChannels; // user channels 1..n
    uint8_t strobes;        // strobe outputs 0..n-1
    uint8_t cpuTemperature; // degrees Celsius
    uint8_t boardTemperature;
    const char* versionText; // extended version information
};

// The built-in models; the first is the default.
const std::vector<ModelSpec>& Models();
// The model with this key, or null.
const ModelSpec* FindModel(const std::string& key);

} // namespace Emulator
