// CIEEE1212Parser: reads the camera's IEEE 1212 configuration ROM once and
// hands out its textual descriptors and immediate values by key.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nodeapi/Register.h"

namespace NodeApi {

// A register node over the whole ROM ("Length" bytes at the register address).
// The ROM is read on the first lookup, checked (bus information block, bus
// name "1394"), and the unit directory of the configured unit specifier ID is
// found. Texts and immediate values are cached per key byte; an invalidation
// that finds another unique ID in the ROM empties the caches.
//
// Everything in the image comes from the camera: every quadlet offset is
// checked against the image before it is read, an entry pointing at itself is
// refused, a directory is walked at most once per search and nesting is
// bounded.
class CIEEE1212Parser : public CRegister {
public:
    static constexpr const char* kClassName = "CIEEE1212Parser";

    // Key bytes with a fixed meaning in the search.
    static constexpr uint8_t kUnitDirectoryKey = 0xD1;
    static constexpr uint8_t kUnitSpecIdKey = 0x12;
    static constexpr uint8_t kUnitDependentDirectoryKey = 0xD4;
    static constexpr uint8_t kTextLeafKey = 0x81;
    static constexpr uint8_t kTextDirectoryKey = 0xC1;
    // "1394" in ASCII, quadlet 1 of the bus information block.
    static constexpr uint32_t kBusName1394 = 0x31333934;
    // Directories nested deeper than this are refused (IEEE 1212 ROMs nest a
    // few levels; the bound keeps a hostile ROM from exhausting the stack).
    static constexpr int kMaxDirectoryDepth = 32;

    CIEEE1212Parser() = default;

    // The text of a key byte (bytes of the descriptor leaf, padding included),
    // searching the ROM when it is not cached yet. False when the ROM has
    // none. Raises RuntimeException for a ROM that cannot be used; port
    // failures pass through.
    bool GetTextByKey(uint8_t key, std::string& text);
    // The 24-bit value of an immediate or offset entry, searched like a text.
    bool GetImmediateByKey(uint8_t key, uint32_t& value);

    // The unique ID of the ROM last accepted; 0 while none was read.
    uint64_t GetUniqueId();

    // INode
    std::string ToString() override { return "CIEEE1212Parser: -"; }
    // Re-reads the ROM when the port is readable; another unique ID (another
    // camera) empties the caches so the next lookup parses the new ROM.
    void InvalidateCache() override;

    // INodeConstruct
    bool SetProperty(const std::string& name, const std::string& value) override;

    // INodeDebug
    std::string GetInfo() override;

private:
    class Walker;
    friend class Walker;

    // Runs the search for key (reading and checking the ROM first when needed).
    void Search(uint8_t key);
    // Forgets the ROM and everything taken from it.
    void Forget();

    uint32_t m_UnitId = 0xA02D; // 24-bit unit specifier ID
    uint32_t m_Language = 0;
    uint32_t m_CharSet = 0;

    // The ROM image exactly as read (big-endian quadlets); it changes only when
    // a whole read succeeded.
    std::vector<uint8_t> m_Rom;
    bool m_RomRead = false; // m_Rom holds a checked ROM
    uint64_t m_UniqueId = 0;
    // Quadlet index of the accepted unit directory in m_Rom; -1 while none.
    int64_t m_UnitDirectory = -1;
    std::map<uint8_t, uint32_t> m_Immediates;
    std::map<uint8_t, std::string> m_Texts; // an existing key is never overwritten
};

} // namespace NodeApi
