// Builds the configuration ROM image of a model.
#include "emulator/ConfigRom.h"

#include "emulator/Model.h"

#include <cstring>
#include <string>

namespace Emulator {

uint16_t Crc16(const uint32_t* quadlets, size_t count) {
    uint16_t crc = 0;
    for (size_t i = 0; i < count; ++i) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            crc ^= static_cast<uint16_t>(((quadlets[i] >> shift) & 0xFF) << 8);
            for (int bit = 0; bit < 8; ++bit) {
                crc = (crc & 0x8000) ? static_cast<uint16_t>((crc << 1) ^ 0x1021)
                                     : static_cast<uint16_t>(crc << 1);
            }
        }
    }
    return crc;
}

namespace {

// Directory or leaf header: number of following quadlets, CRC over them.
void SealBlock(std::vector<uint32_t>& rom, size_t header) {
    const uint32_t length = rom[header] >> 16;
    rom[header] = (length << 16) | Crc16(&rom[header + 1], length);
}

// Entry whose value is the quadlet offset from the entry to `target`.
uint32_t Pointer(uint8_t key, size_t entry, size_t target) {
    return (static_cast<uint32_t>(key) << 24) | static_cast<uint32_t>(target - entry);
}

// Minimal-ASCII textual descriptor leaf: two zero quadlets, then the text,
// first character in the most significant byte, NUL padded.
// Texts are cut to kMaxText characters so the ROM always fits its window and
// the 8-bit crc_length field.
constexpr size_t kMaxText = 64;

void AppendTextLeaf(std::vector<uint32_t>& rom, const char* text) {
    const size_t len = text == nullptr ? 0 : strnlen(text, kMaxText);
    const size_t textQuadlets = len / 4 + 1; // at least one NUL
    const size_t header = rom.size();
    rom.push_back(static_cast<uint32_t>(2 + textQuadlets) << 16);
    rom.push_back(0);
    rom.push_back(0);
    for (size_t q = 0; q < textQuadlets; ++q) {
        uint32_t v = 0;
        for (size_t b = 0; b < 4; ++b) {
            const size_t i = q * 4 + b;
            const uint8_t c = i < len ? static_cast<uint8_t>(text[i]) : 0;
            v |= static_cast<uint32_t>(c) << (24 - 8 * b);
        }
        rom.push_back(v);
    }
    SealBlock(rom, header);
}

} // namespace

std::vector<uint32_t> BuildConfigRom(const ModelSpec& model, uint32_t commandQuadletOffset) {
    const uint32_t companyId = static_cast<uint32_t>(model.eui64 >> 40);
    std::vector<uint32_t> rom;
    // Bus information block, q0..q4 (0x400..0x410).
    rom.push_back(0x04000000);                               // info_length 4, CRC later
    rom.push_back(0x31333934);                               // "1394"
    rom.push_back(0x20FF9002);                               // isc, max_rec 9, S400
    rom.push_back(static_cast<uint32_t>(model.eui64 >> 32)); // node_vendor_ID, chip_ID_hi
    rom.push_back(static_cast<uint32_t>(model.eui64));       // chip_ID_lo
    // Root directory (0x414): vendor, capabilities, unit directory.
    const size_t root = rom.size();
    rom.push_back(3u << 16);
    rom.push_back(0x03000000 | companyId);
    rom.push_back(0x0C0083C0);
    const size_t rootUnitEntry = rom.size();
    rom.push_back(0);
    // Unit directory: unit specifier and version, unit-dependent directory.
    const size_t unit = rom.size();
    rom[rootUnitEntry] = Pointer(0xD1, rootUnitEntry, unit);
    rom.push_back(3u << 16);
    rom.push_back(0x1200A02D); // unit_spec_ID: 1394 Trade Association
    rom.push_back(0x13000102); // unit_sw_version: IIDC 1.3x
    const size_t unitDepEntry = rom.size();
    rom.push_back(0);
    // Unit-dependent directory: command base, text leaves, sub-version 1.31.
    const size_t dep = rom.size();
    rom[unitDepEntry] = Pointer(0xD4, unitDepEntry, dep);
    rom.push_back(4u << 16);
    rom.push_back(0x40000000 | (commandQuadletOffset & 0x00FFFFFF));
    const size_t vendorEntry = rom.size();
    rom.push_back(0);
    const size_t modelEntry = rom.size();
    rom.push_back(0);
    rom.push_back(0x38000010);
    const size_t vendorLeaf = rom.size();
    rom[vendorEntry] = Pointer(0x81, vendorEntry, vendorLeaf);
    AppendTextLeaf(rom, model.vendorName);
    const size_t modelLeaf = rom.size();
    rom[modelEntry] = Pointer(0x82, modelEntry, modelLeaf);
    AppendTextLeaf(rom, model.modelName);

    SealBlock(rom, dep);
    SealBlock(rom, unit);
    SealBlock(rom, root);
    // The bus info CRC covers the whole ROM after q0.
    const uint32_t crcLength = static_cast<uint32_t>(rom.size() - 1);
    rom[0] = 0x04000000 | (crcLength << 16) | Crc16(&rom[1], crcLength);
    return rom;
}

} // namespace Emulator
